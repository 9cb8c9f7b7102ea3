#pragma once

#include "Messages.h"
#include "core/PlatformWords.h"

#include <QString>

// Which update packages the client accepts, where it stores them and how it names a release.
// The rules differ by platform in one place only: what counts as this platform's package, the
// query's platform word, the fallback file extension and the platform's name in the texts.
namespace velmora::UpdatePolicy {

// A disk image or installer package (or a zip named for the Mac), with `platform` absent, empty
// or naming macOS.
bool isMacPackage(const SoftwareUpdate &update);
// A ".deb" (any case), with `platform` absent, empty or "linux" (any case).
bool isLinuxPackage(const SoftwareUpdate &update);
bool isPlatformPackage(const SoftwareUpdate &update, Platform platform = currentPlatform);
// `sha256` is 64 hexadecimal digits.
bool hasValidHash(const SoftwareUpdate &update);
// This platform's package with a valid digest, a download address and a file name: the only
// descriptor whose package is ever downloaded.
bool isAcceptable(const SoftwareUpdate &update, Platform platform = currentPlatform);

// The version, or "未知版本".
QString displayVersion(const SoftwareUpdate &update);
// The release notes without surrounding white space, or "暂无发布说明。" when there are none.
QString displayNotes(const SoftwareUpdate &update);
// Where the package goes inside the updates directory: the safe form of its file name's stem,
// shortened so that the whole name keeps to 180 characters, followed by the extension it was
// accepted for (the platform's package extension for a name without one); or
// "VelmoraWallpaper-<version>" with that extension when no stem is left.
QString packageFileName(const SoftwareUpdate &update, Platform platform = currentPlatform);

// "macOS" or "Linux", as the update texts name the platform.
QString platformName(Platform platform = currentPlatform);
// The value of the update query's platform parameter: "macos" or "linux".
QString queryPlatform(Platform platform = currentPlatform);

} // namespace velmora::UpdatePolicy
