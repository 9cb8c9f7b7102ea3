#include "app/CommandLineOptions.h"
#include "net/PromotionHandoff.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// 40 characters drawn from the whole alphabet.
const QString kTicket = u"Ab0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789"_s;
const QString kLink = u"velmora://activate?ticket="_s + kTicket;

QString ticketOfLength(int length) {
    return kTicket.repeated(13).left(length);
}

TEST(PromotionHandoff, NormalizeTicketAcceptsOnlyWellFormedTickets) {
    const std::pair<QString, std::optional<QString>> cases[] = {
        {ticketOfLength(512), ticketOfLength(512)},
        {ticketOfLength(39), std::nullopt},
        {ticketOfLength(513), std::nullopt},
        {ticketOfLength(39) + u"\uff21"_s, std::nullopt},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(PromotionHandoff::normalizeTicket(input), expected) << input.toStdString();
}

TEST(PromotionHandoff, ParseURIExtractsTheTicketOfWellFormedLinksOnly) {
    const std::pair<QString, bool> cases[] = {
        {u"VELMORA://ACTIVATE/?HandOff_Ticket="_s + kTicket, true},
        // The value is decoded before the ticket is trimmed, as for any other blank around it.
        {u" velmora://activate?tick%65t=%20"_s + kTicket + u'\n', true},
        {u"velmora://activate?token="_s + kTicket, false},
        {u"https://activate?ticket="_s + kTicket, false},
        {kLink + u"&utm_source=test"_s, false},
        {u"velmora://activate/x?ticket="_s + kTicket, false},
        {u"velmora://me@activate?ticket="_s + kTicket, false},
    };
    for (const auto &[link, accepted] : cases)
        EXPECT_EQ(PromotionHandoff::parseURI(link),
                  accepted ? std::optional(kTicket) : std::nullopt)
            << link.toStdString();
}

TEST(PromotionHandoff, BuildURIIsCanonical) {
    EXPECT_EQ(PromotionHandoff::buildURI(u" "_s + kTicket), kLink);
    EXPECT_EQ(PromotionHandoff::buildURI(kTicket.left(39)), std::nullopt);
}

CommandLineOptions with(ClientMode mode, std::optional<QString> ticket = {},
                        std::optional<QString> appData = {}) {
    return {mode, std::nullopt, std::move(appData), std::move(ticket)};
}

TEST(ParseCommandLine, ADataDirectoryThatIsNotUtf8IsRefusedNotReplaced) {
    EXPECT_EQ(test::failureOf(decodeArguments({"--app-data", "/tmp/caf\xe9"})),
              u"--app-data 的目录路径不是有效的 UTF-8。"_s);
}

// The arguments, and the options they give or the exact message of the rejection.
TEST(ParseCommandLine, GivesTheOptionsOrTheExactRejection) {
    const std::tuple<QString, CommandLineOptions, const char *> cases[] = {
        {u"--status --refresh"_s, with(ClientMode::Refresh), ""},
        {u"--app-data a --app-data c"_s,
         with(ClientMode::App, {}, QDir::current().absoluteFilePath(u"c"_s)), ""},
        {kLink, with(ClientMode::App, kTicket), ""},
        {u"--invite-uri "_s + kLink, with(ClientMode::App, kTicket), ""},
        {u"--handoff-ticket "_s + kTicket, with(ClientMode::App, kTicket), ""},
        {u"--activate-invite "_s + kLink, with(ClientMode::ActivateInvite, kTicket), ""},
        {u"--server"_s, {}, "--server 需要一个地址。"},
        {u"--app-data "_s, {}, "--app-data 需要一个目录。"},
        {u"--invite-uri "_s + kTicket, {}, "--invite-uri 需要有效的 velmora 邀请链接。"},
        {u"--handoff-ticket "_s + kLink, {}, "--handoff-ticket 需要有效的一次性邀请票据。"},
        {u"--activate-invite velmora://evil?ticket="_s + kTicket,
         {},
         "--activate-invite 需要有效的邀请链接或一次性票据。"},
        {u"--activate-invite "_s + kTicket + u" --status"_s,
         {},
         "邀请票据只能与图形启动或 --activate-invite 一起使用。"},
        {kLink + u" --handoff-ticket "_s + kTicket, {}, "只能指定一个邀请票据。"},
    };
    for (const auto &[line, options, message] : cases) {
        const Result<CommandLineOptions> result = CommandLineOptions::parse(line.split(u' '));
        EXPECT_EQ(test::failureOf(result), QString::fromUtf8(message)) << line.toStdString();
        EXPECT_TRUE(!result.ok() || *result == options) << line.toStdString();
    }
}

} // namespace
