#pragma once

#include "core/ClientPaths.h"
#include "core/Console.h"
#include "core/DeviceIdentity.h"
#include "core/KeychainStore.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "wallpaper/WallpaperStore.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class LoginAgent;

// Everything a job may touch outside its own objects: where the data lives, the user's
// preferences, the credential store, what the machine says about itself, the desktop, the
// login agent, the time and where lines go. Built once by the process entry (the real seams)
// or by a test (fakes, throw-away stores), and handed down; nothing below reaches for a
// process-wide default of its own.
struct ClientContext {
    ClientPaths paths;
    UserDefaults defaults;
    std::shared_ptr<const KeychainStore> credentials;
    DeviceIdentity identity;
    // Makes the desktop on the thread that will use it (a worker; see WallpaperStore).
    WallpaperStore::DesktopFactory desktop;
    std::shared_ptr<LoginAgent> loginAgent;
    std::function<QDateTime()> now;
    Console *console = nullptr;
    // --server, when the command line names one.
    std::optional<QString> serverOverride;

    NetworkProxyMode proxyMode() const { return NetworkProxyMode::load(defaults); }
    DisplayMode displayMode() const { return DisplayMode::load(defaults); }

    // The origin a headless enrolment or invite association talks to: the --server override,
    // else $VELMORA_SERVER when it is set (even empty, which the origin policy then refuses),
    // else the official origin.
    QString enrolmentServer() const;
};

} // namespace velmora
