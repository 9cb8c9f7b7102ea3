#pragma once

#include <QString>

// How wallpaper files are named on disk: the pieces of a file name the cache, the pruning and
// the saved copies share. The names themselves are WallpaperStore's (cachedURL, exportFileName).
namespace velmora::WallpaperNames {

// The extension of a file name's last path component, without its dot ("" for none, for a
// trailing dot and for a hidden name like ".jpg").
QString pathExtension(const QString &fileName);
// The last path component without its extension.
QString withoutExtension(const QString &lastComponent);

} // namespace velmora::WallpaperNames
