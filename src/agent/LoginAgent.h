#pragma once

#include "core/ClientPaths.h"
#include "core/Result.h"

#include <chrono>
#include <memory>

namespace velmora {

// The per-user job that runs `VelmoraWallpaper --refresh` once at login and then every
// `interval` seconds. The command line and the menu bar talk to this interface only; which
// service manager carries the job is the platform's business.
class LoginAgent {
public:
    static constexpr int defaultInterval = 3600;
    // Shorter intervals are raised to this, so a mistake cannot hammer the service.
    static constexpr int minimumInterval = 300;
    // How long systemctl or launchctl may take. Both answer in well under a second; one stuck on
    // an unresponsive service manager would otherwise hang the menu or the command that asked.
    static constexpr std::chrono::seconds toolTimeLimit{30};

    virtual ~LoginAgent() = default;

    // Whether the job is installed for this very executable. Every problem (missing or
    // unreadable files, another copy of the program, an unparsable file) reads as false.
    virtual bool isEnabled() const = 0;

    // Installs (true) or removes (false) the job. Failures are ClientError::fileSystem with the
    // user's sentence, or, when installing, the data-directory error of ClientPaths::ensure().
    virtual Status setEnabled(bool enabled) = 0;
};

// The platform's agent for these paths: the launchd LaunchAgent on macOS, a systemd user timer
// elsewhere.
std::unique_ptr<LoginAgent> makeLoginAgent(const ClientPaths &paths,
                                           int interval = LoginAgent::defaultInterval);

} // namespace velmora
