#pragma once

// A client context for running commands and jobs in-process: a private data directory, a
// throw-away defaults store, no legacy keychain, fixed machine facts, a recording desktop, the
// real systemd agent with a stand-in systemctl, and a console that keeps what was printed.

#include "FakeDesktop.h"
#include "TempDir.h"
#include "agent/SystemdUserAgent.h"
#include "usecases/ClientContext.h"

#include <QUuid>

#include <sstream>

namespace velmora::test {

class NoKeychain final : public platform::LegacyKeychain {
public:
    platform::LegacyLookup lookup(const QString &, const QString &) const override {
        return {true, std::nullopt};
    }
};

class FixedFacts final : public platform::DeviceFacts {
public:
    std::optional<QString> platformUUID() const override { return QStringLiteral("machine-1"); }
    QString computerName() const override { return QStringLiteral("测试机"); }
    QString hostName() const override { return QStringLiteral("test.local"); }
    QString loginName() const override { return QStringLiteral("tester"); }
};

class TestContext {
public:
    explicit TestContext(std::optional<QString> server = std::nullopt)
        : context(make(std::move(server))) {}
    ~TestContext() { context.defaults.removePersistentDomain(); }

    QString out() const { return QString::fromStdString(m_out.str()); }
    QString err() const { return QString::fromStdString(m_err.str()); }
    void clearOutput() {
        m_out.str({});
        m_err.str({});
    }
    // What the stand-in systemctl was asked, one call per line.
    QString systemctlCalls() const {
        return QString::fromUtf8(readAll(temp.path("systemctl.log")));
    }

    TempDir temp;
    std::shared_ptr<FakeDesktop::State> desktop = std::make_shared<FakeDesktop::State>();
    ClientContext context;

private:
    ClientContext make(std::optional<QString> server) {
        const ClientPaths paths(temp.path(QStringLiteral("data")));
        SystemdAgentEnvironment agent;
        agent.systemctl = temp.path(QStringLiteral("systemctl"));
        agent.configHome = temp.path(QStringLiteral("config"));
        agent.executable = QStringLiteral("/opt/velmora/VelmoraWallpaper");
        writeFile(agent.systemctl,
                  "#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/systemctl.log\"\nexit 0\n", 0755);
        return ClientContext{
            paths,
            UserDefaults::suite(QStringLiteral("test.") +
                                QUuid::createUuid().toString(QUuid::Id128)),
            std::make_shared<const KeychainStore>(paths, QStringLiteral("tester"),
                                                  std::make_shared<NoKeychain>()),
            DeviceIdentity(std::make_shared<FixedFacts>()),
            FakeDesktop::factory(desktop),
            std::make_shared<SystemdUserAgent>(paths, 3600, agent),
            [] { return QDateTime(QDate(2026, 12, 6), QTime(8, 0), Qt::UTC); },
            &m_console,
            std::move(server),
        };
    }

    std::ostringstream m_out;
    std::ostringstream m_err;
    Console m_console{m_out, m_err};
};

} // namespace velmora::test
