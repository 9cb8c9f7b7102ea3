#pragma once

#include "LoginAgent.h"

#include <QString>
#include <QUrl>

#include <optional>

#include <sys/types.h>

namespace velmora {

// Where the launchd agent looks for things. Production leaves everything at its default; tests
// point each at a private stand-in so the real user's session is never touched.
struct LaunchAgentEnvironment {
    QString launchctl = QStringLiteral("/bin/launchctl");
    // Empty: the process's home directory.
    QString home;
    // None: the running executable.
    std::optional<QString> executable;
    // None: the process's real user id.
    std::optional<uid_t> uid;
    std::chrono::seconds toolTimeLimit = LoginAgent::toolTimeLimit;
};

// The macOS login agent: a property list in ~/Library/LaunchAgents that launchd runs at load
// (login, or right after enabling) and every `interval` seconds, loaded into the user's GUI
// domain with launchctl. Built on every platform so its files and messages are tested here.
class LaunchAgentManager final : public LoginAgent {
public:
    explicit LaunchAgentManager(const ClientPaths &paths, int interval = defaultInterval,
                                LaunchAgentEnvironment environment = {});

    // The job's label; the agent file is named after it.
    static const QString &label();

    const ClientPaths &paths() const { return m_paths; }
    // Never below minimumInterval.
    int interval() const { return m_interval; }
    // ~/Library/LaunchAgents/<label>.plist
    QUrl plistURL() const;

    // True when the agent file, in any property-list format, names this executable as the first
    // of its ProgramArguments. launchctl is not consulted.
    bool isEnabled() const override;
    Status setEnabled(bool enabled) override;

private:
    Status enable();
    Status disable();
    QString plistPath() const;
    QString executable() const;
    QString domain() const;

    ClientPaths m_paths;
    int m_interval;
    LaunchAgentEnvironment m_environment;
};

} // namespace velmora
