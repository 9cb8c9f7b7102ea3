#pragma once

#include "core/Result.h"
#include "net/Messages.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class WallpaperAPIClient;
class WallpaperStore;

// Today's descriptor (once it arrived) and either the verified file for it in the cache or why
// there is none: without a descriptor the descriptor failed, with one the download did.
struct TodayFile {
    std::optional<WallpaperMetadata> today;
    QString file;
    std::optional<Error> error;
};

// Asks for today's descriptor, then takes the cached file when it still has the announced digest
// (hashed off the main thread) or downloads and verifies it into the cache. `done` runs once,
// later, on the main thread, and never once `owner` is gone.
void fetchTodayFile(QObject *owner, WallpaperAPIClient &client,
                    std::shared_ptr<const WallpaperStore> store,
                    std::function<void(TodayFile)> done);

} // namespace velmora
