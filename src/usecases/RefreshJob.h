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

// How a refresh ended. Exactly one of `shown` and `error` is set.
struct RefreshResult {
    enum class Stage { Descriptor, Download };
    // The service could not give today's wallpaper: where that happened, and why.
    struct ServiceFailure {
        Stage stage;
        Error error;
    };
    // The wallpaper now on every screen: today's (with its descriptor), or after a service
    // failure the last verified one again.
    struct Shown {
        QString file;
        QString date;
        std::optional<WallpaperMetadata> today; // none for the last verified one
    };

    std::optional<ServiceFailure> serviceFailure;
    std::optional<Shown> shown;
    std::optional<Error> error;
};

struct RefreshOptions {
    // The menu bar falls back after a failed download too; the headless refresh reports it.
    bool fallBackAfterDownloadFailure = false;
};

// One refresh through a client that already carries a usable credential: today's descriptor,
// the cached file when it still has the announced digest or else a verified download into the
// cache, the desktop in the current display mode, then the record and the pruned cache. When
// the descriptor cannot be fetched (and, with `fallBackAfterDownloadFailure`, when the download
// fails) the last verified wallpaper goes back on the desktop instead; that path writes
// nothing. Desktop, hashing and file work run off the main thread; `done` runs once, later, on
// the main thread, and never when the job is destroyed first.
class RefreshJob : public QObject {
    Q_OBJECT

public:
    RefreshJob(const ClientContext &context, WallpaperAPIClient &client,
               RefreshOptions options = {}, QObject *parent = nullptr);
    ~RefreshJob() override;

    void start(std::function<void(RefreshResult)> done);

private:
    void apply(const WallpaperMetadata &today, const QString &file);
    void fallBack(RefreshResult::Stage stage, const Error &error);
    void finish(RefreshResult result);

    const ClientContext &m_context;
    WallpaperAPIClient &m_client;
    RefreshOptions m_options;
    std::shared_ptr<WallpaperStore> m_store;
    std::function<void(RefreshResult)> m_done;
};

} // namespace velmora
