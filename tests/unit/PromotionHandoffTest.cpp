#include "net/PromotionHandoff.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// 40 characters drawn from the whole alphabet.
const QString kTicket = QStringLiteral("Ab0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789");

QString ticketOfLength(int length) {
    QString ticket;
    while (ticket.size() < length)
        ticket += kTicket;
    return ticket.left(length);
}

struct TicketCase {
    const char *name;
    QString input;
    std::optional<QString> expected;
};

class NormalizeTicket : public ::testing::TestWithParam<TicketCase> {};

TEST_P(NormalizeTicket, AcceptsOnlyWellFormedTickets) {
    EXPECT_EQ(PromotionHandoff::normalizeTicket(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalizeTicket,
    ::testing::Values(
        TicketCase{"length40", ticketOfLength(40), ticketOfLength(40)},
        TicketCase{"length512", ticketOfLength(512), ticketOfLength(512)},
        TicketCase{"length39", ticketOfLength(39), std::nullopt},
        TicketCase{"length513", ticketOfLength(513), std::nullopt},
        TicketCase{"blanksTrimmedBeforeCounting",
                   QStringLiteral("  ") + ticketOfLength(40) + QStringLiteral("\n"),
                   ticketOfLength(40)},
        TicketCase{"blanksDoNotMakeUpLength",
                   QStringLiteral(" ") + ticketOfLength(39) + QStringLiteral(" "), std::nullopt},
        TicketCase{"plus", ticketOfLength(39) + QStringLiteral("+"), std::nullopt},
        TicketCase{"padding", ticketOfLength(39) + QStringLiteral("="), std::nullopt},
        TicketCase{"innerBlank", ticketOfLength(20) + QStringLiteral(" ") + ticketOfLength(20),
                   std::nullopt},
        // A combining mark would be one user-perceived character together with its base letter.
        TicketCase{"combiningMark", ticketOfLength(40) + QStringLiteral("\u0301"), std::nullopt},
        TicketCase{"fullWidthLetter", ticketOfLength(39) + QStringLiteral("\uff21"), std::nullopt},
        TicketCase{"zeroWidthSpace", ticketOfLength(40) + QStringLiteral("\u200b"), std::nullopt},
        TicketCase{"empty", QString(), std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

struct LinkCase {
    const char *name;
    QString link;
    bool accepted;
};

class ParseURI : public ::testing::TestWithParam<LinkCase> {};

TEST_P(ParseURI, ExtractsTheTicketOfWellFormedLinksOnly) {
    EXPECT_EQ(PromotionHandoff::parseURI(GetParam().link),
              GetParam().accepted ? std::optional(kTicket) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseURI,
    ::testing::Values(
        LinkCase{"canonical", QStringLiteral("velmora://activate?ticket=") + kTicket, true},
        LinkCase{"upperCaseWithSlashPath",
                 QStringLiteral("VELMORA://ACTIVATE/?HandOff_Ticket=") + kTicket, true},
        LinkCase{"camelCaseName", QStringLiteral("velmora://activate?handoffTicket=") + kTicket,
                 true},
        LinkCase{"surroundingBlanks",
                 QStringLiteral("  velmora://activate?ticket=") + kTicket + QStringLiteral("\n"),
                 true},
        LinkCase{"percentEncodedValue",
                 QStringLiteral("velmora://activate?ticket=%41") + kTicket.mid(1), true},
        LinkCase{"percentEncodedName", QStringLiteral("velmora://activate?tick%65t=") + kTicket,
                 true},
        LinkCase{"tokenName", QStringLiteral("velmora://activate?token=") + kTicket, false},
        LinkCase{"evilHost", QStringLiteral("velmora://evil?ticket=") + kTicket, false},
        LinkCase{"extraParameter",
                 QStringLiteral("velmora://activate?ticket=") + kTicket +
                     QStringLiteral("&utm_source=test"),
                 false},
        LinkCase{"ticketTwice",
                 QStringLiteral("velmora://activate?ticket=") + kTicket +
                     QStringLiteral("&ticket=") + kTicket,
                 false},
        LinkCase{"nameWithoutValue", QStringLiteral("velmora://activate?ticket"), false},
        LinkCase{"port", QStringLiteral("velmora://activate:8080?ticket=") + kTicket, false},
        LinkCase{"fragment",
                 QStringLiteral("velmora://activate?ticket=") + kTicket + QStringLiteral("#x"),
                 false},
        LinkCase{"otherPath", QStringLiteral("velmora://activate/x?ticket=") + kTicket, false},
        LinkCase{"userInfo", QStringLiteral("velmora://me@activate?ticket=") + kTicket, false},
        LinkCase{"otherScheme", QStringLiteral("https://activate?ticket=") + kTicket, false},
        LinkCase{"noHost", QStringLiteral("velmora:activate?ticket=") + kTicket, false},
        LinkCase{"noQuery", QStringLiteral("velmora://activate"), false},
        LinkCase{"shortTicket", QStringLiteral("velmora://activate?ticket=") + kTicket.left(39),
                 false},
        // The value is decoded before the ticket is trimmed, as for any other blank around it.
        LinkCase{"encodedBlankTrimmed", QStringLiteral("velmora://activate?ticket=%20") + kTicket,
                 true},
        LinkCase{"encodedPlusInTicket", QStringLiteral("velmora://activate?ticket=%2B") + kTicket,
                 false},
        LinkCase{"bareTicket", kTicket, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(BuildURI, IsCanonicalAndRoundTrips) {
    EXPECT_EQ(PromotionHandoff::buildURI(QStringLiteral(" ") + kTicket),
              QStringLiteral("velmora://activate?ticket=") + kTicket);
    EXPECT_EQ(PromotionHandoff::buildURI(kTicket.left(39)), std::nullopt);
    for (int length : {40, 512}) {
        const std::optional<QString> link = PromotionHandoff::buildURI(ticketOfLength(length));
        ASSERT_TRUE(link);
        EXPECT_EQ(PromotionHandoff::parseURI(*link), ticketOfLength(length));
    }
}

} // namespace
