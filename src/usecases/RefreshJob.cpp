#include "RefreshJob.h"

#include "Background.h"
#include "TodayFile.h"
#include "net/WallpaperAPIClient.h"
#include "wallpaper/WallpaperStore.h"

namespace velmora {

RefreshJob::RefreshJob(const ClientContext &context, WallpaperAPIClient &client,
                       RefreshOptions options, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_client(client)
    , m_options(options)
    , m_store(std::make_shared<WallpaperStore>(context.paths, context.desktop)) {}

RefreshJob::~RefreshJob() = default;

void RefreshJob::start(std::function<void(RefreshResult)> done) {
    m_done = std::move(done);
    fetchTodayFile(this, m_client, m_store, [this](TodayFile fetched) {
        if (!fetched.error)
            return apply(*fetched.today, fetched.file);
        if (!fetched.today)
            return fallBack(RefreshResult::Stage::Descriptor, *fetched.error);
        if (m_options.fallBackAfterDownloadFailure)
            return fallBack(RefreshResult::Stage::Download, *fetched.error);
        finish({RefreshResult::ServiceFailure{RefreshResult::Stage::Download, *fetched.error},
                std::nullopt, fetched.error});
    });
}

void RefreshJob::apply(const WallpaperMetadata &today, const QString &file) {
    const DisplayMode mode = m_context.displayMode();
    runInBackground<Status>(
        this,
        [store = m_store, today, file, mode]() -> Status {
            store->pruneUpdates();
            if (Status set = store->setDesktopWallpaper(file, mode); !set)
                return set;
            store->remember(today, file);
            store->pruneCache(file);
            return {};
        },
        [this, today, file](Status applied) {
            if (!applied)
                return finish({std::nullopt, std::nullopt, applied.error()});
            finish({std::nullopt, RefreshResult::Shown{file, today.effectiveDate, today},
                    std::nullopt});
        });
}

// The service cannot give today's wallpaper: keep showing the last verified one.
void RefreshJob::fallBack(RefreshResult::Stage stage, const Error &error) {
    const DisplayMode mode = m_context.displayMode();
    RefreshResult::ServiceFailure failure{stage, error};
    runInBackground<RefreshResult>(
        this,
        [store = m_store, failure, mode] {
            const std::optional<WallpaperStore::LastVerified> last = store->lastVerifiedWallpaper();
            if (!last)
                return RefreshResult{failure, std::nullopt, failure.error};
            if (Status set = store->setDesktopWallpaper(last->path, mode); !set)
                return RefreshResult{failure, std::nullopt, set.error()};
            return RefreshResult{
                failure, RefreshResult::Shown{last->path, last->date, std::nullopt}, std::nullopt};
        },
        [this](RefreshResult result) { finish(std::move(result)); });
}

void RefreshJob::finish(RefreshResult result) {
    m_done(std::move(result));
}

} // namespace velmora
