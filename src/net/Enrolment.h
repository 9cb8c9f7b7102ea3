#pragma once

#include "core/ActivationState.h"
#include "core/ClientPaths.h"
#include "core/Result.h"

#include <QString>

#include <optional>

namespace velmora {

// The server a headless run enrols with: the --server override, else $VELMORA_SERVER when it
// is set (even empty, which the origin policy then refuses), else the official origin.
QString chooseEnrolmentServer(const std::optional<QString> &serverOverride);

// Enrols this device with the chosen server and waits for the answer by running the main
// loop. Must be called on the main thread. Returns a usable credential; never stores it.
Result<ActivationState> registerAutomatically(const ClientPaths &paths,
                                              const std::optional<QString> &serverOverride);

} // namespace velmora
