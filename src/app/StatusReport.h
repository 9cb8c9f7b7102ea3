#pragma once

#include "core/ActivationState.h"
#include "core/ClientPaths.h"
#include "core/Console.h"
#include "core/KeychainStore.h"
#include "core/Result.h"
#include "core/UserDefaults.h"

namespace velmora {

class LoginAgent;

// The credential lines of --status, --register and --activate-invite; the token is never among
// them.
void printCredential(Console &console, const ActivationState &credential);

// The lines of --status. The credential is read on the calling thread: the command has nothing
// else to do meanwhile. Needs nothing beyond QtCore, so the executable answers it without
// loading the rest of the client.
Status printStatus(const ClientPaths &paths, const KeychainStore &credentials,
                   const LoginAgent &loginAgent, const UserDefaults &defaults, Console &console);

} // namespace velmora
