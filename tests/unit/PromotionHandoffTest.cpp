#include "net/PromotionHandoff.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// 40 characters drawn from the whole alphabet.
const QString kTicket = QStringLiteral("Ab0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789");
const QString kPrefix = QStringLiteral("velmora://activate?ticket=");

QString ticketOfLength(int length) {
    return kTicket.repeated(13).left(length);
}

TEST(PromotionHandoff, NormalizeTicketAcceptsOnlyWellFormedTickets) {
    const std::pair<QString, std::optional<QString>> cases[] = {
        {ticketOfLength(512), ticketOfLength(512)},
        {ticketOfLength(39), std::nullopt},
        {ticketOfLength(513), std::nullopt},
        {QStringLiteral("  ") + kTicket + QStringLiteral("\n"), kTicket},
        {ticketOfLength(39) + QStringLiteral("\uff21"), std::nullopt},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(PromotionHandoff::normalizeTicket(input), expected) << input.toStdString();
}

TEST(PromotionHandoff, ParseURIExtractsTheTicketOfWellFormedLinksOnly) {
    const std::pair<QString, bool> cases[] = {
        {kPrefix + kTicket, true},
        {QStringLiteral("VELMORA://ACTIVATE/?HandOff_Ticket=") + kTicket, true},
        // The value is decoded before the ticket is trimmed, as for any other blank around it.
        {QStringLiteral(" velmora://activate?tick%65t=%20") + kTicket + u'\n', true},
        {QStringLiteral("velmora://activate?token=") + kTicket, false},
        {QStringLiteral("https://activate?ticket=") + kTicket, false},
        {kPrefix + kTicket + QStringLiteral("&utm_source=test"), false},
        {QStringLiteral("velmora://activate/x?ticket=") + kTicket, false},
        {QStringLiteral("velmora://me@activate?ticket=") + kTicket, false},
    };
    for (const auto &[link, accepted] : cases)
        EXPECT_EQ(PromotionHandoff::parseURI(link),
                  accepted ? std::optional(kTicket) : std::nullopt)
            << link.toStdString();
}

TEST(PromotionHandoff, BuildURIIsCanonical) {
    EXPECT_EQ(PromotionHandoff::buildURI(QStringLiteral(" ") + kTicket), kPrefix + kTicket);
    EXPECT_EQ(PromotionHandoff::buildURI(kTicket.left(39)), std::nullopt);
}

} // namespace
