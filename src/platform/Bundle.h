#pragma once

#include <QString>

#include <optional>

// The application bundle: the directory that carries the client's metadata (Info.plist) and
// resources (AppIcon.png). On Linux it is share/velmora-wallpaper below the prefix the
// executable runs from, the same in the build tree (build/bin/VelmoraWallpaper →
// build/share/velmora-wallpaper) and in an installed tree (<prefix>/bin →
// <prefix>/share/velmora-wallpaper). Nothing here needs a QCoreApplication.
namespace velmora::Bundle {

// The bundle directory of the running executable, cleaned ("..", "." and doubled separators
// removed). The executable's own path comes from /proc/self/exe, so a symbolic link through
// which the program was started does not move its bundle. Empty when that path cannot be read.
QString directory();

// The path of the resource name + "." + extension (name alone when extension is empty) in the
// bundle, or none unless it is there as a regular file. A symbolic link is never followed, so
// one planted in the bundle counts as missing; so does a directory, a name containing "/", and
// an empty name.
std::optional<QString> resource(const QString &name, const QString &extension);
std::optional<QString> resource(const QString &directory, const QString &name,
                                const QString &extension);

// The text value of key in the bundle's Info.plist (XML or binary), or none when the file is
// missing or not a regular file, does not parse as a dictionary, lacks the key, or holds
// something other than text under it.
std::optional<QString> infoString(const QString &key);
std::optional<QString> infoString(const QString &directory, const QString &key);

} // namespace velmora::Bundle
