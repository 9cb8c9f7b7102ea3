#pragma once

#include "core/ClientPaths.h"
#include "core/Preferences.h"
#include "core/Result.h"
#include "net/Messages.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

namespace platform {
class Desktop;
}

// Everything the client keeps on disk about wallpapers: the cache of verified files, the record
// of the last verified wallpaper ("last-wallpaper.json" in the data root, where pruning never
// reaches it), the desktop, and saved copies. No state beyond the paths; every call works on
// the file system and returns when that work is done.
class WallpaperStore {
public:
    using DesktopFactory = std::function<std::unique_ptr<platform::Desktop>()>;

    // The desktop is made on first use, so cache work never touches the display.
    explicit WallpaperStore(ClientPaths paths, DesktopFactory desktop = {});
    ~WallpaperStore();

    struct LastVerified {
        QString path;
        QString date;
    };

    // Where the verified file for `metadata` lives: "<id>-<12 hex of the digest><extension>".
    QString cachedURL(const WallpaperMetadata &metadata) const;
    // An existing, non-linked, readable file whose digest matches (any file when `expected`
    // is empty).
    static bool isValidCache(const QString &path, const QString &expectedSHA256);
    // In the updates directory: removes the staging files no writer holds and every package
    // but `opening` (the newest when none is named). Silent on failure.
    void pruneUpdates(const QString &opening = {}) const;
    // Makes `file` (only a file directly in the cache) the newest entry and records it as the
    // last verified wallpaper. Silent on failure.
    void remember(const WallpaperMetadata &metadata, const QString &file) const;
    // The recorded wallpaper, only while its file still passes the cache check.
    std::optional<LastVerified> lastVerifiedWallpaper() const;
    // Keeps the newest eight files; hidden, extension-less and linked entries are never
    // removed, and neither are the recorded file and `applying` (another refresh may have just
    // recorded a file this one found old). Staging files no writer holds go first. Silent on
    // failure.
    void pruneCache(const QString &applying = {}) const;

    // Puts a verified file on every screen in `mode`.
    Status setDesktopWallpaper(const QString &file, DisplayMode mode);
    // Copies today's verified wallpaper into `destinationDirectory` (default: the pictures
    // folder + "Velmora壁纸") under a readable name, reusing an identical copy and never
    // overwriting a different one. Returns the copy's path.
    Result<QString>
    saveCopy(const WallpaperMetadata &metadata, const QString &source,
             const std::optional<QString> &destinationDirectory = std::nullopt) const;

    static QString exportFileName(const WallpaperMetadata &metadata);
    static QString fileExtension(const WallpaperMetadata &metadata);
    static QString sanitize(const QString &text, const QString &fallback);
    static QString defaultSaveDirectory();

    const ClientPaths &paths() const { return m_paths; }

private:
    struct Record {
        QString fileName; // directly in the cache
        QString sha256;
        QString date;
    };
    QString recordPath() const;
    std::optional<Record> readRecord() const;

    ClientPaths m_paths;
    DesktopFactory m_makeDesktop;
    std::unique_ptr<platform::Desktop> m_desktop;
};

} // namespace velmora
