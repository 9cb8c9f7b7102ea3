#pragma once

#include <QString>

namespace velmora::ClientConstants {

inline const QString appName = QStringLiteral("VelmoraWallpaper");
inline const QString bundleIdentifier = QStringLiteral("example.velmora.wallpaper");
// Chosen at build time (CMake cache variable VELMORA_OFFICIAL_SERVER).
extern const QString officialServer;
inline const QString keychainService = QStringLiteral("example.velmora.wallpaper.activation");
inline const QString launchAgentLabel = QStringLiteral("example.velmora.wallpaper.refresh");
inline const QString selfTestSuitePrefix = QStringLiteral("example.velmora.");
inline const QString userAgent = QStringLiteral("velmora-macos-client/1.0");
// The project() version of the build, the same one the bundle's Info.plist carries.
extern const QString currentVersion;

inline const QString displayModeDefaultsKey = QStringLiteral("displayMode");
inline const QString proxyModeDefaultsKey = QStringLiteral("networkProxyMode");
inline const QString autoUpdateDefaultsKey = QStringLiteral("autoUpdateEnabled");
inline const QString lastAutoUpdateOpenedVersionKey = QStringLiteral("lastAutoUpdateOpenedVersion");
inline const QString serverBaseURLDefaultsKey = QStringLiteral("serverBaseURL");

inline const QString promotionScheme = QStringLiteral("velmora");
inline const QString promotionActivationHost = QStringLiteral("activate");

} // namespace velmora::ClientConstants
