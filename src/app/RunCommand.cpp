#include "RunCommand.h"

#include "UsageText.h"
#include "core/ClientConstants.h"
#include "core/ClientPaths.h"

#include <functional>
#include <map>

namespace velmora {

namespace {

struct CommandContext {
    const CommandLineOptions &options;
    Console &console;
};

using Command = std::function<Status(const CommandContext &)>;

Status printVersion(const CommandContext &context)
{
    context.console.print(ClientConstants::currentVersion);
    return {};
}

Status printHelp(const CommandContext &context)
{
    context.console.print(usageText);
    return {};
}

// A job this build does not provide yet: it says so instead of pretending to succeed.
Command unavailable(ClientMode mode)
{
    return [mode](const CommandContext &) -> Status {
        if (mode == ClientMode::App)
            return ClientError::fileSystem(QStringLiteral("此版本尚未提供菜单栏客户端。"));
        return ClientError::fileSystem(QStringLiteral("此版本尚未提供 %1 命令。").arg(commandWord(mode)));
    };
}

const std::map<ClientMode, Command> &commands()
{
    static const std::map<ClientMode, Command> table{
        {ClientMode::App, unavailable(ClientMode::App)},
        {ClientMode::Refresh, unavailable(ClientMode::Refresh)},
        {ClientMode::Register, unavailable(ClientMode::Register)},
        {ClientMode::Status, unavailable(ClientMode::Status)},
        {ClientMode::Clear, unavailable(ClientMode::Clear)},
        {ClientMode::StartupEnable, unavailable(ClientMode::StartupEnable)},
        {ClientMode::StartupDisable, unavailable(ClientMode::StartupDisable)},
        {ClientMode::StartupStatus, unavailable(ClientMode::StartupStatus)},
        {ClientMode::ActivateInvite, unavailable(ClientMode::ActivateInvite)},
        {ClientMode::SelfTest, unavailable(ClientMode::SelfTest)},
        {ClientMode::Version, printVersion},
        {ClientMode::Help, printHelp},
    };
    return table;
}

} // namespace

int runCommand(const CommandLineOptions &options, Console &console)
{
    const CommandContext context{options, console};
    if (Status status = commands().at(options.mode)(context); !status) {
        console.printError(status.error().description());
        return 1;
    }
    return 0;
}

int runProcess(const QStringList &arguments, Console &console)
{
    Result<CommandLineOptions> options = CommandLineOptions::parse(arguments);
    if (!options) {
        console.printError(options.error().description());
        return 2;
    }
    return runCommand(*options, console);
}

} // namespace velmora
