#include "QuickCommands.h"

#include "CommandLineOptions.h"
#include "StatusReport.h"
#include "UsageText.h"
#include "agent/LoginAgent.h"
#include "core/ClientConstants.h"
#include "core/PrivateFile.h"
#include "core/StagingFile.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The status is answered here only when the credential file or the storage marker exists; the
// store never consults the keychain then. A lookup that happens anyway (the file went away in
// between) reads as "no answer", which leaves the migration to the next command.
class NoLegacyKeychain final : public platform::LegacyKeychain {
public:
    platform::LegacyLookup lookup(const QString &, const QString &) const override { return {}; }
};

bool keychainIsSettled(const ClientPaths &paths) {
    return PrivateFile::inspect(paths.activationFallback()) ||
           PrivateFile::inspect(paths.credentialStorageMarker());
}

// As for every headless command: the lines the program means to show go through the console.
void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

int finish(const Status &status, Console &console) {
    if (!status)
        console.printError(status.error().description());
    return status ? 0 : 1;
}

} // namespace

std::optional<int> runQuickCommand(const QList<QByteArray> &arguments, Console &console) {
    const Result<QStringList> decoded = decodeArguments(arguments);
    if (!decoded) {
        console.printError(decoded.error().description());
        return 2;
    }
    const Result<CommandLineOptions> options = CommandLineOptions::parse(*decoded);
    if (!options) {
        console.printError(options.error().description());
        return 2;
    }
    switch (options->mode) {
    case ClientMode::Version:
        console.print(ClientConstants::currentVersion);
        return 0;
    case ClientMode::Help:
        console.print(usageText);
        return 0;
    case ClientMode::Status:
    case ClientMode::StartupStatus:
        break;
    default:
        return std::nullopt;
    }

    const ClientPaths paths(options->appData);
    if (options->mode == ClientMode::Status && !keychainIsSettled(paths))
        return std::nullopt;
    qInstallMessageHandler(dropQtMessages);
    StagingFile::removeOnTerminationSignals();
    const std::unique_ptr<LoginAgent> agent = makeLoginAgent(paths);
    if (options->mode == ClientMode::StartupStatus) {
        console.print(agent->isEnabled() ? u"enabled"_s : u"disabled"_s);
        return 0;
    }
    const KeychainStore credentials(paths, std::nullopt, std::make_shared<NoLegacyKeychain>());
    return finish(printStatus(paths, credentials, *agent, UserDefaults::standard(), console),
                  console);
}

} // namespace velmora
