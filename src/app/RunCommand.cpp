#include "RunCommand.h"

#include "HeadlessCommands.h"
#include "UsageText.h"
#include "core/ClientConstants.h"
#include "core/ClientPaths.h"
#include "wallpaper/Refresh.h"

#include <QCoreApplication>

#include <functional>
#include <map>
#include <memory>

namespace velmora {

namespace {

struct CommandContext {
    const CommandLineOptions &options;
    Console &console;

    ClientPaths paths() const { return ClientPaths(options.appData); }
    std::function<void(const QString &)> printer() const {
        return [this](const QString &line) {
            console.print(line);
        };
    }
};

using Command = std::function<Status(const CommandContext &)>;

Status printVersion(const CommandContext &context) {
    context.console.print(ClientConstants::currentVersion);
    return {};
}

Status printHelp(const CommandContext &context) {
    context.console.print(usageText);
    return {};
}

// A job this build does not provide yet: it says so instead of pretending to succeed.
Command unavailable(ClientMode mode) {
    return [mode](const CommandContext &) -> Status {
        if (mode == ClientMode::App)
            return ClientError::fileSystem(QStringLiteral("此版本尚未提供菜单栏客户端。"));
        return ClientError::fileSystem(
            QStringLiteral("此版本尚未提供 %1 命令。").arg(commandWord(mode)));
    };
}

const std::map<ClientMode, Command> &commands() {
    static const std::map<ClientMode, Command> table{
        {ClientMode::App, unavailable(ClientMode::App)},
        {ClientMode::Refresh,
         [](const CommandContext &c) {
             return runRefresh(c.paths(), c.options.server, c.printer());
         }},
        {ClientMode::Register,
         [](const CommandContext &c) {
             return HeadlessCommands::registerDevice(c.paths(), c.options.server, c.printer());
         }},
        {ClientMode::Status,
         [](const CommandContext &c) {
             return HeadlessCommands::status(c.paths(), c.printer());
         }},
        {ClientMode::Clear,
         [](const CommandContext &c) {
             return HeadlessCommands::clear(c.paths(), c.printer());
         }},
        {ClientMode::StartupEnable,
         [](const CommandContext &c) {
             return HeadlessCommands::startupEnable(c.paths(), c.options.server, c.printer());
         }},
        {ClientMode::StartupDisable,
         [](const CommandContext &c) {
             return HeadlessCommands::startupDisable(c.paths(), c.printer());
         }},
        {ClientMode::StartupStatus,
         [](const CommandContext &c) {
             return HeadlessCommands::startupStatus(c.paths(), c.printer());
         }},
        {ClientMode::ActivateInvite,
         [](const CommandContext &c) {
             return HeadlessCommands::activateInvite(c.paths(), c.options.server,
                                                     c.options.handoffTicket.value_or(QString()),
                                                     c.printer());
         }},
        {ClientMode::SelfTest, unavailable(ClientMode::SelfTest)},
        {ClientMode::Version, printVersion},
        {ClientMode::Help, printHelp},
    };
    return table;
}

} // namespace

// Headless jobs wait for the service on an event loop; they get the lightest application object
// there is, which needs no display. Printing the version or the usage needs none at all.
static std::unique_ptr<QCoreApplication> makeCoreApplicationFor(ClientMode mode) {
    if (mode == ClientMode::Version || mode == ClientMode::Help || mode == ClientMode::App ||
        QCoreApplication::instance())
        return nullptr;
    static int argc = 1;
    static char name[] = "VelmoraWallpaper";
    static char *argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

int runCommand(const CommandLineOptions &options, Console &console) {
    const std::unique_ptr<QCoreApplication> application = makeCoreApplicationFor(options.mode);
    const CommandContext context{options, console};
    if (Status status = commands().at(options.mode)(context); !status) {
        console.printError(status.error().description());
        return 1;
    }
    return 0;
}

int runProcess(const QStringList &arguments, Console &console) {
    Result<CommandLineOptions> options = CommandLineOptions::parse(arguments);
    if (!options) {
        console.printError(options.error().description());
        return 2;
    }
    return runCommand(*options, console);
}

} // namespace velmora
