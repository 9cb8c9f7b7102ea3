#pragma once

#include "core/Console.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace velmora {

// The commands the executable answers itself, with nothing but QtCore loaded: --version,
// --help, --startup-status, and --status once the credential file (or the marker that makes the
// keychain irrelevant) exists. Also every rejected command line. Returns the exit status, or
// none when the command needs the rest of the client (see ModeModule.h). Creates no
// application object.
std::optional<int> runQuickCommand(const QList<QByteArray> &arguments,
                                   Console &console = Console::standard());

} // namespace velmora
