#include "app/CommandLineOptions.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace velmora;

namespace {

const QString kTicket = QStringLiteral("Ab0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789");
const QString kLink = QStringLiteral("velmora://activate?ticket=") + kTicket;

CommandLineOptions with(ClientMode mode, std::optional<QString> ticket = {},
                        std::optional<QString> appData = {}) {
    return {mode, std::nullopt, std::move(appData), std::move(ticket)};
}

TEST(ParseCommandLine, ADataDirectoryThatIsNotUtf8IsRefusedNotReplaced) {
    EXPECT_EQ(test::failureOf(decodeArguments({"--app-data", "/tmp/caf\xe9"})),
              QStringLiteral("--app-data 的目录路径不是有效的 UTF-8。"));
}

// The arguments, and the options they give or the exact message of the rejection.
TEST(ParseCommandLine, GivesTheOptionsOrTheExactRejection) {
    const std::tuple<QString, CommandLineOptions, const char *> cases[] = {
        {QStringLiteral("--status --refresh"), with(ClientMode::Refresh), ""},
        {QStringLiteral("--app-data a --app-data c"),
         with(ClientMode::App, {}, QDir::current().absoluteFilePath(QStringLiteral("c"))), ""},
        {kLink, with(ClientMode::App, kTicket), ""},
        {QStringLiteral("--invite-uri ") + kLink, with(ClientMode::App, kTicket), ""},
        {QStringLiteral("--handoff-ticket ") + kTicket, with(ClientMode::App, kTicket), ""},
        {QStringLiteral("--activate-invite ") + kLink, with(ClientMode::ActivateInvite, kTicket),
         ""},
        {QStringLiteral("--server"), {}, "--server 需要一个地址。"},
        {QStringLiteral("--app-data "), {}, "--app-data 需要一个目录。"},
        {QStringLiteral("--invite-uri ") + kTicket,
         {},
         "--invite-uri 需要有效的 velmora 邀请链接。"},
        {QStringLiteral("--handoff-ticket ") + kLink,
         {},
         "--handoff-ticket 需要有效的一次性邀请票据。"},
        {QStringLiteral("--activate-invite velmora://evil?ticket=") + kTicket,
         {},
         "--activate-invite 需要有效的邀请链接或一次性票据。"},
        {QStringLiteral("--activate-invite ") + kTicket + QStringLiteral(" --status"),
         {},
         "邀请票据只能与图形启动或 --activate-invite 一起使用。"},
        {kLink + QStringLiteral(" --handoff-ticket ") + kTicket, {}, "只能指定一个邀请票据。"},
    };
    for (const auto &[line, options, message] : cases) {
        const Result<CommandLineOptions> result = CommandLineOptions::parse(line.split(u' '));
        EXPECT_EQ(test::failureOf(result), QString::fromUtf8(message)) << line.toStdString();
        EXPECT_TRUE(!result.ok() || *result == options) << line.toStdString();
    }
}

} // namespace
