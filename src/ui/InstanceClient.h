#pragma once

#include "InstanceMessage.h"
#include "core/ClientPaths.h"

#include <chrono>

namespace velmora {

// The second launch: hands `request` to the instance that holds the lock. Blocking (this runs in
// the short-lived second process before any window exists), bounded by `deadline` in total,
// retrying the connection while the first instance is still starting up. False when nobody
// accepted the request in time, and at once when the ticket does not normalise or something
// other than a socket sits at the socket path. Needs no event loop; call it from a thread that
// Qt knows (the main thread once the application object exists, or a QThread).
bool sendToRunningInstance(const ClientPaths &paths, const InstanceRequest &request,
                           std::chrono::milliseconds deadline = std::chrono::seconds(2));

} // namespace velmora
