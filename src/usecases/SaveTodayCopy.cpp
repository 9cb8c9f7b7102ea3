#include "SaveTodayCopy.h"

#include "Background.h"
#include "TodayFile.h"
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
    fetchTodayFile(this, m_client, m_store, [this](TodayFile fetched) {
        if (!fetched.error)
            return copy(*fetched.today, fetched.file);
        fail(fetched.today ? SaveTodayResult::Stage::Download : SaveTodayResult::Stage::Descriptor,
             *fetched.error, fetched.today);
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
