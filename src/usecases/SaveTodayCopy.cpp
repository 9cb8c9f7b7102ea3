#include "SaveTodayCopy.h"

#include "Background.h"
#include "net/WallpaperAPIClient.h"
#include "wallpaper/WallpaperStore.h"

namespace velmora {

SaveTodayCopy::SaveTodayCopy(const ClientContext &context, WallpaperAPIClient &client,
                             QString destinationDirectory, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_destination(std::move(destinationDirectory))
    , m_store(std::make_shared<WallpaperStore>(context.paths, context.desktop)) {}

SaveTodayCopy::~SaveTodayCopy() = default;

void SaveTodayCopy::start(std::function<void(SaveTodayResult)> done) {
    m_done = std::move(done);
    m_client.fetchToday(whileAlive(
        this, [this](Result<WallpaperMetadata> today) { onDescriptor(std::move(today)); }));
}

void SaveTodayCopy::onDescriptor(Result<WallpaperMetadata> today) {
    if (!today)
        return fail(SaveTodayResult::Stage::Descriptor, today.error());
    const WallpaperMetadata metadata = *today;
    const QString cached = m_store->cachedURL(metadata);
    runInBackground<bool>(
        this,
        [cached, digest = metadata.sha256] { return WallpaperStore::isValidCache(cached, digest); },
        [this, metadata, cached](bool valid) {
            if (valid)
                return copy(metadata, cached);
            m_client.download(metadata.downloadURL, metadata.sha256, cached,
                              whileAlive(this, [this, metadata](Result<QString> file) {
                                  if (!file)
                                      return fail(SaveTodayResult::Stage::Download, file.error(),
                                                  metadata);
                                  copy(metadata, *file);
                              }));
        });
}

void SaveTodayCopy::copy(const WallpaperMetadata &today, const QString &cacheFile) {
    runInBackground<Result<QString>>(
        this,
        [store = m_store, today, cacheFile, destination = m_destination] {
            return store->saveCopy(today, cacheFile, destination);
        },
        [this, today](Result<QString> saved) {
            if (!saved)
                return fail(SaveTodayResult::Stage::Copy, saved.error(), today);
            m_done({today, *saved, std::nullopt, std::nullopt});
        });
}

void SaveTodayCopy::fail(SaveTodayResult::Stage stage, const Error &error,
                         const std::optional<WallpaperMetadata> &today) {
    m_done({today, std::nullopt, stage, error});
}

} // namespace velmora
