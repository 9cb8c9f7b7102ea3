#pragma once

#include "ClientLog.h"
#include "ClientPaths.h"

#include <QString>

namespace velmora {

// "startup-prompt-v1" in the data directory; its presence alone means the first-use prompt has
// been shown.
QString startupPromptMarkerPath(const ClientPaths &paths);

// Whether anything is at the marker path (a symbolic link counts; it is not followed).
bool isStartupPromptShown(const ClientPaths &paths);

// Records that the prompt has been shown. The prompt has been answered by then, so a failure
// only means it may be shown again: it goes to `log` as one line and the caller is not told.
void tryMarkStartupPromptShown(const ClientPaths &paths, const ClientLog &log);

} // namespace velmora
