#pragma once

#include <functional>

namespace velmora {

// Runs the thread's event loop in slices of at most 100 ms until `done` answers true. This is
// how a headless command waits for completions that are delivered to the main thread; it has
// no time limit of its own, the network timeouts bound every wait.
void runMainLoopUntil(const std::function<bool()> &done);

} // namespace velmora
