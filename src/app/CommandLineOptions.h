#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

enum class ClientMode {
    App, // no command word: the menu-bar application
    Refresh,
    Register,
    Status,
    Clear,
    StartupEnable,
    StartupDisable,
    StartupStatus,
    ActivateInvite,
    SelfTest,
    Version,
    Help,
};

// The parsed command line, a plain value decided before any application object exists.
struct CommandLineOptions {
    ClientMode mode = ClientMode::App;
    std::optional<QString> server;        // passed on unvalidated; the origin policy judges it
    std::optional<QString> appData;       // absolute, resolved against the working directory
    std::optional<QString> handoffTicket; // already normalised

    // Reads the arguments (without the program name) left to right; without --app-data, a
    // command that uses the data directory also needs ClientPaths::checkEnvironment() to pass.
    // Fails with ClientError::malformedData carrying the sentence shown after "错误：".
    static Result<CommandLineOptions> parse(const QStringList &arguments);

    friend bool operator==(const CommandLineOptions &, const CommandLineOptions &) = default;
};

// The process's arguments (without the program name) as text. Undecodable bytes become
// replacement characters, except in the data directory, which is then refused.
Result<QStringList> decodeArguments(const QList<QByteArray> &arguments);

// The command word that selects `mode`, for messages ("--refresh"); empty for App.
QString commandWord(ClientMode mode);

} // namespace velmora
