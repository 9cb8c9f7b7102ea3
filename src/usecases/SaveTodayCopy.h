#pragma once

#include "ClientContext.h"
#include "core/Result.h"
#include "net/Messages.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class WallpaperAPIClient;
class WallpaperStore;

// How saving today's wallpaper ended: the copy's path, or the step that failed and why.
struct SaveTodayResult {
    enum class Stage { Descriptor, Download, Copy };

    std::optional<WallpaperMetadata> today; // known once the descriptor arrived
    std::optional<QString> savedPath;
    std::optional<Stage> failedStage;
    std::optional<Error> error;
};

// Saves today's verified wallpaper into `destinationDirectory`: the descriptor, the cached file
// when it still has the announced digest or else a verified download into the cache (where the
// next refresh finds it), then a copy under a readable name. Never changes the desktop, the
// record or the cache's pruning. `done` runs once, later, on the main thread.
class SaveTodayCopy : public QObject {
    Q_OBJECT

public:
    SaveTodayCopy(const ClientContext &context, WallpaperAPIClient &client,
                  QString destinationDirectory, QObject *parent = nullptr);
    ~SaveTodayCopy() override;

    void start(std::function<void(SaveTodayResult)> done);

private:
    void copy(const WallpaperMetadata &today, const QString &cacheFile);
    void fail(SaveTodayResult::Stage stage, const Error &error,
              const std::optional<WallpaperMetadata> &today = std::nullopt);

    WallpaperAPIClient &m_client;
    QString m_destination;
    std::shared_ptr<WallpaperStore> m_store;
    std::function<void(SaveTodayResult)> m_done;
};

} // namespace velmora
