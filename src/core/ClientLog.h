#pragma once

#include <QString>

#include <functional>

namespace velmora {

// Where a component reports an event it otherwise swallows: one line of text, without
// timestamp or line feed (the sink adds its own framing). The menu-bar application hands in a
// sink that appends to client.log; tests hand in one that records the lines.
using ClientLog = std::function<void(const QString &line)>;

} // namespace velmora
