#pragma once

#include "WallpaperStore.h"
#include "core/ClientPaths.h"
#include "core/Result.h"

#include <QString>

#include <functional>
#include <optional>

namespace velmora {

// The whole headless refresh: make sure a usable credential exists (enrolling when there is
// none), fetch today's descriptor, take the wallpaper from the cache or download and verify
// it, put it on every screen, remember it and prune the cache. When the descriptor cannot be
// fetched, the last verified wallpaper is applied again. Prints one line through `print`.
// Must run on the main thread; waits for the service by running the main loop.
Status runRefresh(const ClientPaths &paths, const std::optional<QString> &serverOverride,
                  const std::function<void(const QString &)> &print,
                  WallpaperStore::DesktopFactory desktop = {});

} // namespace velmora
