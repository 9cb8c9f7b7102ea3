#include "net/PromotionHandoff.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// 40 characters drawn from the whole alphabet.
const QString kTicket = u"Ab0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789"_s;
const QString kPrefix = u"velmora://activate?ticket="_s;

QString ticketOfLength(int length) {
    return kTicket.repeated(13).left(length);
}

TEST(PromotionHandoff, NormalizeTicketAcceptsOnlyWellFormedTickets) {
    const std::pair<QString, std::optional<QString>> cases[] = {
        {ticketOfLength(512), ticketOfLength(512)},
        {ticketOfLength(39), std::nullopt},
        {ticketOfLength(513), std::nullopt},
        {u"  "_s + kTicket + u"\n"_s, kTicket},
        {ticketOfLength(39) + u"\uff21"_s, std::nullopt},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(PromotionHandoff::normalizeTicket(input), expected) << input.toStdString();
}

TEST(PromotionHandoff, ParseURIExtractsTheTicketOfWellFormedLinksOnly) {
    const std::pair<QString, bool> cases[] = {
        {kPrefix + kTicket, true},
        {u"VELMORA://ACTIVATE/?HandOff_Ticket="_s + kTicket, true},
        // The value is decoded before the ticket is trimmed, as for any other blank around it.
        {u" velmora://activate?tick%65t=%20"_s + kTicket + u'\n', true},
        {u"velmora://activate?token="_s + kTicket, false},
        {u"https://activate?ticket="_s + kTicket, false},
        {kPrefix + kTicket + u"&utm_source=test"_s, false},
        {u"velmora://activate/x?ticket="_s + kTicket, false},
        {u"velmora://me@activate?ticket="_s + kTicket, false},
    };
    for (const auto &[link, accepted] : cases)
        EXPECT_EQ(PromotionHandoff::parseURI(link),
                  accepted ? std::optional(kTicket) : std::nullopt)
            << link.toStdString();
}

TEST(PromotionHandoff, BuildURIIsCanonical) {
    EXPECT_EQ(PromotionHandoff::buildURI(u" "_s + kTicket), kPrefix + kTicket);
    EXPECT_EQ(PromotionHandoff::buildURI(kTicket.left(39)), std::nullopt);
}

} // namespace
