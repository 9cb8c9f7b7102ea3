#pragma once

#include "CommandLineOptions.h"
#include "usecases/ClientContext.h"

namespace velmora {

// The context of a real run: the data directory of the command line, the standard user
// defaults, the credential store with the platform's legacy keychain, this machine's facts,
// the session's desktop, the platform's login agent, the wall clock and `console`.
ClientContext makeSystemContext(const CommandLineOptions &options, Console &console);

} // namespace velmora
