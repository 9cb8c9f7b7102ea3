#include "RunCommand.h"

#include "HeadlessCommands.h"
#include "MenuBarApp.h"
#include "SelfTest.h"
#include "SystemContext.h"
#include "UsageText.h"
#include "core/ClientConstants.h"
#include "core/ClientPaths.h"
#include "core/StagingFile.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace velmora {

namespace {

// What a command works with. The client context is built on first use, so --version and
// --help never touch the user defaults or the data directory.
class CommandContext {
public:
    CommandContext(const CommandLineOptions &options, Console &console,
                   const ClientContext *client = nullptr)
        : options(options)
        , console(console)
        , m_given(client) {}

    const CommandLineOptions &options;
    Console &console;

    const ClientContext &client() const {
        if (m_given)
            return *m_given;
        if (!m_client)
            m_client = makeSystemContext(options, console);
        return *m_client;
    }

private:
    const ClientContext *m_given;
    mutable std::optional<ClientContext> m_client;
};

using Command = std::function<Status(const CommandContext &)>;

// A command that needs nothing but the client context.
Command headless(Status (*command)(const ClientContext &)) {
    return [command](const CommandContext &c) {
        return command(c.client());
    };
}

Status printVersion(const CommandContext &context) {
    context.console.print(ClientConstants::currentVersion);
    return {};
}

Status printHelp(const CommandContext &context) {
    context.console.print(usageText);
    return {};
}

const std::map<ClientMode, Command> &commands() {
    static const std::map<ClientMode, Command> table{
        {ClientMode::Refresh, headless(&HeadlessCommands::refresh)},
        {ClientMode::Register, headless(&HeadlessCommands::registerDevice)},
        {ClientMode::Status, headless(&HeadlessCommands::status)},
        {ClientMode::Clear, headless(&HeadlessCommands::clear)},
        {ClientMode::StartupEnable, headless(&HeadlessCommands::startupEnable)},
        {ClientMode::StartupDisable, headless(&HeadlessCommands::startupDisable)},
        {ClientMode::StartupStatus, headless(&HeadlessCommands::startupStatus)},
        {ClientMode::ActivateInvite,
         [](const CommandContext &c) {
             return HeadlessCommands::activateInvite(c.client(),
                                                     c.options.handoffTicket.value_or(QString()));
         }},
        {ClientMode::SelfTest,
         [](const CommandContext &c) {
             return runSelfTest(c.console);
         }},
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

// A headless command's standard error is exact text, and the login agent appends it to a log
// every hour: Qt's own diagnostics ("QIODevice::read: device not open" after an aborted reply)
// are noise there. Every line the program means to show goes through the console.
static void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

static int run(const CommandContext &context) {
    // The menu-bar application shows its own alerts and ends with its own status.
    if (context.options.mode == ClientMode::App)
        return runMenuBarApp(context.options, context.console);
    const std::unique_ptr<QCoreApplication> application =
        makeCoreApplicationFor(context.options.mode);
    const Status status = commands().at(context.options.mode)(context);
    if (!status)
        context.console.printError(status.error().description());
    // The pool threads that hashed files end with the job, not while the process exits.
    if (QThreadPool *pool = QThreadPool::globalInstance())
        pool->waitForDone();
    return status ? 0 : 1;
}

int runCommand(const CommandLineOptions &options, Console &console) {
    return run(CommandContext(options, console));
}

int runCommand(const CommandLineOptions &options, const ClientContext &context) {
    return run(CommandContext(options, *context.console, &context));
}

int runProcess(const QList<QByteArray> &arguments, Console &console) {
    const Result<QStringList> decoded = decodeArguments(arguments);
    if (!decoded) {
        console.printError(decoded.error().description());
        return 2;
    }
    return runProcess(*decoded, console);
}

int runProcess(const QStringList &arguments, Console &console) {
    Result<CommandLineOptions> options = CommandLineOptions::parse(arguments);
    if (!options) {
        console.printError(options.error().description());
        return 2;
    }
    if (options->mode != ClientMode::App) {
        qInstallMessageHandler(dropQtMessages);
        StagingFile::removeOnTerminationSignals();
    }
    return runCommand(*options, console);
}

} // namespace velmora
