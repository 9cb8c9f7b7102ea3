#include "app/CommandLineOptions.h"
#include "app/RunCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sstream>

using namespace velmora;

namespace {

const QString kTicket = QStringLiteral("Ab0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789");
const QString kOtherTicket = QStringLiteral("ZZ0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789");
const QString kLink = QStringLiteral("velmora://activate?ticket=") + kTicket;

struct ParseCase {
    const char *name;
    QStringList arguments;
    // Either the options expected, or the exact message of the rejection.
    std::optional<CommandLineOptions> options;
    const char *message = nullptr;
};

CommandLineOptions withMode(ClientMode mode, std::optional<QString> ticket = {},
                            std::optional<QString> server = {}) {
    CommandLineOptions options;
    options.mode = mode;
    options.handoffTicket = std::move(ticket);
    options.server = std::move(server);
    return options;
}

ParseCase accepts(const char *name, QStringList arguments, CommandLineOptions options) {
    return {name, std::move(arguments), std::move(options)};
}

ParseCase rejects(const char *name, QStringList arguments, const char *message) {
    return {name, std::move(arguments), std::nullopt, message};
}

class ParseCommandLine : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLine, GivesTheOptionsOrTheExactRejection) {
    const Result<CommandLineOptions> result = CommandLineOptions::parse(GetParam().arguments);
    if (GetParam().options) {
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(*result, *GetParam().options);
    } else {
        ASSERT_FALSE(result.ok());
        EXPECT_TRUE(result.error().is(ClientError::Kind::MalformedData));
        EXPECT_EQ(result.error().description(), QString::fromUtf8(GetParam().message));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParseCommandLine,
    ::testing::Values(
        accepts("empty", {}, CommandLineOptions{}),
        accepts("refresh", {QStringLiteral("--refresh")}, withMode(ClientMode::Refresh)),
        accepts("lastCommandWins", {QStringLiteral("--status"), QStringLiteral("--refresh")},
                withMode(ClientMode::Refresh)),
        accepts("lastCommandWinsReversed",
                {QStringLiteral("--refresh"), QStringLiteral("--status")},
                withMode(ClientMode::Status)),
        accepts("serverTakesAnyNextWord", {QStringLiteral("--server"), QStringLiteral("--refresh")},
                withMode(ClientMode::App, {}, QStringLiteral("--refresh"))),
        accepts("serverRepeated",
                {QStringLiteral("--server"), QStringLiteral("a"), QStringLiteral("--server"),
                 QStringLiteral("b")},
                withMode(ClientMode::App, {}, QStringLiteral("b"))),
        accepts("bareLinkStartsApp", {kLink}, withMode(ClientMode::App, kTicket)),
        accepts("inviteUri", {QStringLiteral("--invite-uri"), kLink},
                withMode(ClientMode::App, kTicket)),
        accepts("handoffTicket",
                {QStringLiteral("--handoff-ticket"), QStringLiteral(" ") + kTicket},
                withMode(ClientMode::App, kTicket)),
        accepts("inviteAlias", {QStringLiteral("--invite"), kTicket},
                withMode(ClientMode::App, kTicket)),
        accepts("activateWithTicket", {QStringLiteral("--activate-invite"), kTicket},
                withMode(ClientMode::ActivateInvite, kTicket)),
        accepts("activateWithLink", {QStringLiteral("--activate-invite"), kLink},
                withMode(ClientMode::ActivateInvite, kTicket)),
        accepts("ticketThenActivateWord",
                {QStringLiteral("--activate-invite"), kTicket, QStringLiteral("--server"),
                 QStringLiteral("x")},
                withMode(ClientMode::ActivateInvite, kTicket, QStringLiteral("x"))),
        rejects("serverLast", {QStringLiteral("--server")}, "--server 需要一个地址。"),
        rejects("appDataLast", {QStringLiteral("--refresh"), QStringLiteral("--app-data")},
                "--app-data 需要一个目录。"),
        rejects("inviteUriLast", {QStringLiteral("--invite-uri")},
                "--invite-uri 需要有效的 velmora 邀请链接。"),
        rejects("inviteUriBareTicket", {QStringLiteral("--invite-uri"), kTicket},
                "--invite-uri 需要有效的 velmora 邀请链接。"),
        rejects("handoffLast", {QStringLiteral("--handoff-ticket")},
                "--handoff-ticket 需要有效的一次性邀请票据。"),
        rejects("handoffLink", {QStringLiteral("--handoff-ticket"), kLink},
                "--handoff-ticket 需要有效的一次性邀请票据。"),
        rejects("activateLast", {QStringLiteral("--activate-invite")},
                "--activate-invite 需要邀请链接或一次性票据。"),
        rejects("activateInvalid",
                {QStringLiteral("--activate-invite"),
                 QStringLiteral("velmora://evil?ticket=") + kTicket},
                "--activate-invite 需要有效的邀请链接或一次性票据。"),
        rejects("ticketWithRefresh",
                {QStringLiteral("--handoff-ticket"), kTicket, QStringLiteral("--refresh")},
                "邀请票据只能与图形启动或 --activate-invite 一起使用。"),
        rejects("activateThenLaterCommand",
                {QStringLiteral("--activate-invite"), kTicket, QStringLiteral("--status")},
                "邀请票据只能与图形启动或 --activate-invite 一起使用。"),
        rejects("linkThenTicket",
                {QStringLiteral("--invite-uri"), kLink, QStringLiteral("--handoff-ticket"),
                 kOtherTicket},
                "只能指定一个邀请票据。"),
        rejects("activateTwice",
                {QStringLiteral("--activate-invite"), kTicket, QStringLiteral("--activate-invite"),
                 kTicket},
                "只能指定一个邀请票据。"),
        rejects("firstFailureWins", {QStringLiteral("--bogus"), QStringLiteral("--server")},
                "未知参数：--bogus。使用 --help 查看用法。"),
        rejects("unknownKeepsSpelling", {QStringLiteral("--Refresh")},
                "未知参数：--Refresh。使用 --help 查看用法。"),
        rejects("noJoinedValue", {QStringLiteral("--server=https://x")},
                "未知参数：--server=https://x。使用 --help 查看用法。"),
        rejects("emptyArgument", {QString()}, "未知参数：。使用 --help 查看用法。")),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ParseCommandLineAppData, IsResolvedAgainstTheWorkingDirectory) {
    const auto relative =
        CommandLineOptions::parse({QStringLiteral("--app-data"), QStringLiteral("a/../b"),
                                   QStringLiteral("--app-data"), QStringLiteral("c")});
    EXPECT_EQ(relative.value().appData, QDir::current().absoluteFilePath(QStringLiteral("c")));
}

TEST(ProcessEntry, JobsThisBuildLacksFailClearlyWithStatusOne) {
    std::ostringstream out, err;
    Console console(out, err);
    EXPECT_EQ(runProcess({QStringLiteral("--self-test")}, console), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "错误：此版本尚未提供 --self-test 命令。\n");
}

} // namespace
