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
                            std::optional<QString> server = {})
{
    CommandLineOptions options;
    options.mode = mode;
    options.handoffTicket = std::move(ticket);
    options.server = std::move(server);
    return options;
}

ParseCase accepts(const char *name, QStringList arguments, CommandLineOptions options)
{
    return {name, std::move(arguments), std::move(options)};
}

ParseCase rejects(const char *name, QStringList arguments, const char *message)
{
    return {name, std::move(arguments), std::nullopt, message};
}

class ParseCommandLine : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLine, GivesTheOptionsOrTheExactRejection)
{
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
        accepts("register", {QStringLiteral("--register")}, withMode(ClientMode::Register)),
        accepts("clear", {QStringLiteral("--clear")}, withMode(ClientMode::Clear)),
        accepts("startupEnable", {QStringLiteral("--startup-enable")}, withMode(ClientMode::StartupEnable)),
        accepts("startupDisable", {QStringLiteral("--startup-disable")}, withMode(ClientMode::StartupDisable)),
        accepts("startupStatus", {QStringLiteral("--startup-status")}, withMode(ClientMode::StartupStatus)),
        accepts("selfTest", {QStringLiteral("--self-test")}, withMode(ClientMode::SelfTest)),
        accepts("version", {QStringLiteral("--version")}, withMode(ClientMode::Version)),
        accepts("help", {QStringLiteral("--help")}, withMode(ClientMode::Help)),
        accepts("shortHelp", {QStringLiteral("-h")}, withMode(ClientMode::Help)),
        accepts("lastCommandWins", {QStringLiteral("--status"), QStringLiteral("--refresh")}, withMode(ClientMode::Refresh)),
        accepts("lastCommandWinsReversed", {QStringLiteral("--refresh"), QStringLiteral("--status")}, withMode(ClientMode::Status)),
        accepts("serverTakesAnyNextWord", {QStringLiteral("--server"), QStringLiteral("--refresh")},
                withMode(ClientMode::App, {}, QStringLiteral("--refresh"))),
        accepts("serverRepeated", {QStringLiteral("--server"), QStringLiteral("a"), QStringLiteral("--server"), QStringLiteral("b")},
                withMode(ClientMode::App, {}, QStringLiteral("b"))),
        accepts("bareLinkStartsApp", {kLink}, withMode(ClientMode::App, kTicket)),
        accepts("inviteUri", {QStringLiteral("--invite-uri"), kLink}, withMode(ClientMode::App, kTicket)),
        accepts("handoffTicket", {QStringLiteral("--handoff-ticket"), QStringLiteral(" ") + kTicket}, withMode(ClientMode::App, kTicket)),
        accepts("inviteAlias", {QStringLiteral("--invite"), kTicket}, withMode(ClientMode::App, kTicket)),
        accepts("activateWithTicket", {QStringLiteral("--activate-invite"), kTicket}, withMode(ClientMode::ActivateInvite, kTicket)),
        accepts("activateWithLink", {QStringLiteral("--activate-invite"), kLink}, withMode(ClientMode::ActivateInvite, kTicket)),
        accepts("ticketThenActivateWord", {QStringLiteral("--activate-invite"), kTicket, QStringLiteral("--server"), QStringLiteral("x")},
                withMode(ClientMode::ActivateInvite, kTicket, QStringLiteral("x"))),
        rejects("serverLast", {QStringLiteral("--server")}, "--server 需要一个地址。"),
        rejects("appDataLast", {QStringLiteral("--refresh"), QStringLiteral("--app-data")}, "--app-data 需要一个目录。"),
        rejects("inviteUriLast", {QStringLiteral("--invite-uri")}, "--invite-uri 需要有效的 velmora 邀请链接。"),
        rejects("inviteUriBareTicket", {QStringLiteral("--invite-uri"), kTicket}, "--invite-uri 需要有效的 velmora 邀请链接。"),
        rejects("handoffLast", {QStringLiteral("--handoff-ticket")}, "--handoff-ticket 需要有效的一次性邀请票据。"),
        rejects("inviteLast", {QStringLiteral("--invite")}, "--handoff-ticket 需要有效的一次性邀请票据。"),
        rejects("handoffLink", {QStringLiteral("--handoff-ticket"), kLink}, "--handoff-ticket 需要有效的一次性邀请票据。"),
        rejects("handoffShort", {QStringLiteral("--handoff-ticket"), kTicket.left(39)}, "--handoff-ticket 需要有效的一次性邀请票据。"),
        rejects("activateLast", {QStringLiteral("--activate-invite")}, "--activate-invite 需要邀请链接或一次性票据。"),
        rejects("activateInvalid", {QStringLiteral("--activate-invite"), QStringLiteral("velmora://evil?ticket=") + kTicket},
                "--activate-invite 需要有效的邀请链接或一次性票据。"),
        rejects("ticketWithRefresh", {QStringLiteral("--handoff-ticket"), kTicket, QStringLiteral("--refresh")},
                "邀请票据只能与图形启动或 --activate-invite 一起使用。"),
        rejects("activateThenLaterCommand", {QStringLiteral("--activate-invite"), kTicket, QStringLiteral("--status")},
                "邀请票据只能与图形启动或 --activate-invite 一起使用。"),
        rejects("bareLinkWithVersion", {QStringLiteral("--version"), kLink}, "邀请票据只能与图形启动或 --activate-invite 一起使用。"),
        rejects("linkThenTicket", {QStringLiteral("--invite-uri"), kLink, QStringLiteral("--handoff-ticket"), kOtherTicket},
                "只能指定一个邀请票据。"),
        rejects("activateThenTicket", {QStringLiteral("--activate-invite"), kTicket, QStringLiteral("--handoff-ticket"), kOtherTicket},
                "只能指定一个邀请票据。"),
        rejects("activateTwice", {QStringLiteral("--activate-invite"), kTicket, QStringLiteral("--activate-invite"), kTicket},
                "只能指定一个邀请票据。"),
        rejects("twoBareLinks", {kLink, kLink}, "只能指定一个邀请票据。"),
        // Parsing stops at the first failure, so the second ticket is never looked at.
        rejects("firstFailureWins", {QStringLiteral("--bogus"), QStringLiteral("--server")},
                "未知参数：--bogus。使用 --help 查看用法。"),
        rejects("unknownKeepsSpelling", {QStringLiteral("--Refresh")}, "未知参数：--Refresh。使用 --help 查看用法。"),
        rejects("noJoinedValue", {QStringLiteral("--server=https://x")}, "未知参数：--server=https://x。使用 --help 查看用法。"),
        rejects("noBundling", {QStringLiteral("-hv")}, "未知参数：-hv。使用 --help 查看用法。"),
        rejects("unknownNonAscii", {QStringLiteral("刷新")}, "未知参数：刷新。使用 --help 查看用法。"),
        rejects("emptyArgument", {QString()}, "未知参数：。使用 --help 查看用法。")),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ParseCommandLineAppData, IsResolvedAgainstTheWorkingDirectory)
{
    const Result<CommandLineOptions> relative =
        CommandLineOptions::parse({QStringLiteral("--app-data"), QStringLiteral("a/../b"), QStringLiteral("--app-data"), QStringLiteral("c")});
    ASSERT_TRUE(relative.ok());
    EXPECT_EQ(relative->appData, QDir::current().absoluteFilePath(QStringLiteral("c")));
}

// The process entry, run in-process with string streams in place of stdout and stderr.
struct ProcessRun {
    int status;
    std::string out;
    std::string err;
};

ProcessRun run(const QStringList &arguments)
{
    std::ostringstream out, err;
    Console console(out, err);
    const int status = runProcess(arguments, console);
    return {status, out.str(), err.str()};
}

TEST(ProcessEntry, VersionHelpAndRejectionsWriteExactBytes)
{
    const ProcessRun version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "1.3.0\n");
    EXPECT_EQ(version.err, "");

    const ProcessRun help = run({QStringLiteral("-h")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Velmora壁纸 macOS 菜单栏客户端\n\n用法：\n"));
    EXPECT_TRUE(help.out.ends_with("  --app-data <directory>             覆盖 Application Support 目录\n"));
    EXPECT_EQ(help.err, "");

    const ProcessRun rejected = run({QStringLiteral("--server")});
    EXPECT_EQ(rejected.status, 2);
    EXPECT_EQ(rejected.out, "");
    EXPECT_EQ(rejected.err, "错误：--server 需要一个地址。\n");
}

TEST(ProcessEntry, JobsThisBuildLacksFailClearlyWithStatusOne)
{
    const ProcessRun selfTest = run({QStringLiteral("--self-test")});
    EXPECT_EQ(selfTest.status, 1);
    EXPECT_EQ(selfTest.out, "");
    EXPECT_EQ(selfTest.err, "错误：此版本尚未提供 --self-test 命令。\n");
}

} // namespace
