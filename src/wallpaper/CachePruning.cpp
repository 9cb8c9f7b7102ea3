#include "WallpaperNames.h"
#include "WallpaperStore.h"
#include "core/StagingFile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

constexpr size_t kKeptWallpapers = 8;

struct CacheEntry {
    QString path;
    bool isDirectory = false;
    timespec modified{};
};

bool newer(const CacheEntry &a, const CacheEntry &b) {
    if (a.modified.tv_sec != b.modified.tv_sec)
        return a.modified.tv_sec > b.modified.tv_sec;
    return a.modified.tv_nsec > b.modified.tv_nsec;
}

} // namespace

void WallpaperStore::pruneCache(const QString &applying) const {
    QDir directory(m_paths.wallpapers());
    if (!directory.exists())
        return;
    // Pruning skips hidden entries; what a killed download or write left behind goes here.
    for (const QByteArray &suffix : {QByteArrayLiteral(".download"), QByteArrayLiteral(".tmp")})
        StagingFile::removeAbandoned(directory.path(), suffix);
    const QStringList names = directory.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    std::vector<CacheEntry> candidates;
    for (const QString &name : names) {
        if (name.startsWith(u'.') || WallpaperNames::pathExtension(name).isEmpty())
            continue;
        const QString path = directory.filePath(name);
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
            candidates.push_back({path, false, {}});
            continue;
        }
        if (S_ISLNK(info.st_mode))
            continue;
        candidates.push_back({path, S_ISDIR(info.st_mode), info.st_mtim});
    }
    std::stable_sort(candidates.begin(), candidates.end(), newer);
    QStringList protectedPaths{ClientPaths::standardized(applying)};
    if (const std::optional<Record> record = readRecord())
        protectedPaths << directory.filePath(record->fileName);
    for (size_t i = kKeptWallpapers; i < candidates.size(); ++i) {
        if (protectedPaths.contains(candidates[i].path))
            continue;
        if (candidates[i].isDirectory)
            QDir(candidates[i].path).removeRecursively();
        else
            ::unlink(QFile::encodeName(candidates[i].path).constData());
    }
}

// Only one package is worth keeping: older ones are never opened again.
void WallpaperStore::pruneUpdates(const QString &opening) const {
    QDir directory(m_paths.updates());
    if (!directory.exists())
        return;
    StagingFile::removeAbandoned(directory.path(), QByteArrayLiteral(".download"));
    // Regular files only (QDir lists no hidden ones here); links and folders are left alone.
    std::vector<CacheEntry> packages;
    for (const QString &name : directory.entryList(QDir::Files | QDir::System)) {
        const QString path = directory.filePath(name);
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode))
            packages.push_back({path, false, info.st_mtim});
    }
    std::stable_sort(packages.begin(), packages.end(), newer);
    const QString kept = !opening.isEmpty() ? ClientPaths::standardized(opening)
                         : packages.empty() ? QString()
                                            : packages.front().path;
    for (const CacheEntry &package : packages)
        if (package.path != kept)
            ::unlink(QFile::encodeName(package.path).constData());
}

} // namespace velmora
