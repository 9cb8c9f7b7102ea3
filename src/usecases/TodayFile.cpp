#include "TodayFile.h"

#include "Background.h"
#include "net/WallpaperAPIClient.h"
#include "wallpaper/WallpaperStore.h"

namespace velmora {

void fetchTodayFile(QObject *owner, WallpaperAPIClient &client,
                    std::shared_ptr<const WallpaperStore> store,
                    std::function<void(TodayFile)> done) {
    client.fetchToday(
        whileAlive(owner, [owner, &client, store, done](Result<WallpaperMetadata> descriptor) {
            if (!descriptor)
                return done({std::nullopt, {}, descriptor.error()});
            const WallpaperMetadata today = *descriptor;
            const QString cached = store->cachedURL(today);
            runInBackground<bool>(
                owner,
                [cached, digest = today.sha256] {
                    return WallpaperStore::isValidCache(cached, digest);
                },
                [owner, &client, today, cached, done](bool valid) {
                    if (valid)
                        return done({today, cached, std::nullopt});
                    client.download(today.downloadURL, today.sha256, cached,
                                    whileAlive(owner, [today, done](Result<QString> file) {
                                        if (!file)
                                            return done({today, {}, file.error()});
                                        done({today, *file, std::nullopt});
                                    }));
                });
        }));
}

} // namespace velmora
