#pragma once

#include "LoginAgent.h"

#include <QString>

#include <optional>

namespace velmora {

// Where the systemd agent looks for things. Production leaves everything at its default; tests
// point each at a private stand-in so the real user's session is never touched.
struct SystemdAgentEnvironment {
    // Empty: `systemctl` as found on PATH when it is run.
    QString systemctl;
    // Empty: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config (where
    // `systemctl --user` itself looks).
    QString configHome;
    // None: the running executable.
    std::optional<QString> executable;
    std::chrono::seconds toolTimeLimit = LoginAgent::toolTimeLimit;
};

// The Linux login agent: a oneshot user service that runs `<exe> --refresh` and a timer that
// starts it shortly after the user manager starts (first login) and every `interval` seconds
// after its last run, both in the user's systemd unit folder and enabled through
// `systemctl --user`.
//
// Without a running user manager (containers, CI, a session without one) `systemctl` still
// records the enablement client-side, the timers.target.wants/ link, but cannot start the timer:
// enabling then fails with the tool's message while isEnabled() answers true, as on macOS when
// launchd refuses a written agent. The next user manager starts the timer by itself.
class SystemdUserAgent final : public LoginAgent {
public:
    explicit SystemdUserAgent(const ClientPaths &paths, int interval = defaultInterval,
                              SystemdAgentEnvironment environment = {});

    // Never below minimumInterval.
    int interval() const { return m_interval; }
    // $XDG_CONFIG_HOME/systemd/user
    QString unitFolder() const;
    // <unitFolder>/<label>.service and .timer
    QString servicePath() const;
    QString timerPath() const;
    // The unit names, for systemctl.
    static QString serviceName();
    static QString timerName();

    // True when the service's ExecStart program is this executable and the timer is enabled the
    // way systemd records it: a link in timers.target.wants/ that leads to our timer file.
    bool isEnabled() const override;
    Status setEnabled(bool enabled) override;

private:
    Status enable();
    Status disable();
    QString executable() const;
    QString systemctl() const;
    QString wantsLinkPath() const;

    ClientPaths m_paths;
    int m_interval;
    SystemdAgentEnvironment m_environment;
};

} // namespace velmora
