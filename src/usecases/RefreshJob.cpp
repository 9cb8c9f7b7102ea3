#include "RefreshJob.h"

#include "Background.h"
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
    m_client.fetchToday(whileAlive(
        this, [this](Result<WallpaperMetadata> today) { onDescriptor(std::move(today)); }));
}

void RefreshJob::onDescriptor(Result<WallpaperMetadata> today) {
    if (!today)
        return fallBack(RefreshResult::Stage::Descriptor, today.error());
    const WallpaperMetadata metadata = *today;
    const QString cached = m_store->cachedURL(metadata);
    runInBackground<bool>(
        this,
        [cached, digest = metadata.sha256] { return WallpaperStore::isValidCache(cached, digest); },
        [this, metadata, cached](bool valid) {
            if (valid)
                return apply(metadata, cached);
            m_client.download(metadata.downloadURL, metadata.sha256, cached,
                              whileAlive(this, [this, metadata](Result<QString> file) {
                                  if (file)
                                      return apply(metadata, *file);
                                  if (m_options.fallBackAfterDownloadFailure)
                                      return fallBack(RefreshResult::Stage::Download, file.error());
                                  finish({RefreshResult::ServiceFailure{
                                              RefreshResult::Stage::Download, file.error()},
                                          std::nullopt, file.error()});
                              }));
        });
}

void RefreshJob::apply(const WallpaperMetadata &today, const QString &file) {
    const DisplayMode mode = m_context.displayMode();
    runInBackground<Status>(
        this,
        [store = m_store, today, file, mode]() -> Status {
            if (Status set = store->setDesktopWallpaper(file, mode); !set)
                return set;
            store->remember(today, file);
            store->pruneCache(8, file);
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
