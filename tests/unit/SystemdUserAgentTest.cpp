#include "agent/SystemdUserAgent.h"
#include "agent/LoginAgent.h"
#include "core/ClientPaths.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace velmora {
namespace {

const QString kTimer = QStringLiteral("example.velmora.wallpaper.refresh.timer");

// A stand-in for systemctl that records each call as one line in "<script>.log" and lets the
// call whose last argument is `failing` exit 1 after printing `output`.
QString writeFakeSystemctl(const QString &path, const QByteArray &failing = {},
                           const QByteArray &output = {}) {
    const QByteArray script = "#!/bin/sh\n"
                              "printf '%s\\n' \"$*\" >> \"$0.log\"\n"
                              "for last; do :; done\n"
                              "if [ \"$last\" = '" +
                              failing + "' ]; then printf '%s' '" + output + "'; exit 1; fi\n";
    EXPECT_TRUE(test::writeFile(path, script, 0755));
    return path;
}

struct ToolResult {
    int status = -1;
    QString output;
};

// Runs a real systemd tool; no user manager can be reached from it.
ToolResult runSystemdTool(const QString &program, const QStringList &arguments,
                          const QString &runtimeDir) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    environment.insert(QStringLiteral("SYSTEMCTL_INSTALL_CLIENT_SIDE"), QStringLiteral("1"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

// Sets an environment variable for the rest of one test.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnvironment() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

class SystemdUserAgentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(runtimeDir)); }

    QString unitFolder() const { return configHome + QStringLiteral("/systemd/user"); }
    QString service() const {
        return unitFolder() + QStringLiteral("/example.velmora.wallpaper.refresh.service");
    }
    QString timer() const { return unitFolder() + u'/' + kTimer; }
    QString wantsLink() const {
        return unitFolder() + QStringLiteral("/timers.target.wants/") + kTimer;
    }
    QString systemctlLog() const { return systemctl + QStringLiteral(".log"); }

    SystemdUserAgent agent(std::optional<QString> executable, int interval = 3600) const {
        return SystemdUserAgent(
            paths, interval, SystemdAgentEnvironment{systemctl, configHome, std::move(executable)});
    }

    // An executable file, so systemd-analyze can check the program path it reads back.
    QString makeExecutable(const QString &name) const {
        const QString path = temp.path(name);
        EXPECT_TRUE(test::writeFile(path, "#!/bin/sh\nexit 0\n", 0755));
        return path;
    }

    void linkTimerAsSystemdDoes() const {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(wantsLink()).absolutePath()));
        ASSERT_TRUE(QFile::link(timer(), wantsLink()));
    }

    test::TempDir temp;
    QString configHome = temp.path(QStringLiteral("config"));
    QString runtimeDir = temp.path(QStringLiteral("runtime"));
    ClientPaths paths{temp.path(QStringLiteral("data 100% $HOME"))};
    QString executable = makeExecutable(QStringLiteral("Velmora Wallpaper 2%"));
    QString systemctl = writeFakeSystemctl(temp.path(QStringLiteral("systemctl")));
};

TEST_F(SystemdUserAgentTest, EnableWritesAServiceAndAnHourlyTimerAndStartsTheTimer) {
    SystemdUserAgent enabled = agent(executable);
    const Status status = enabled.setEnabled(true);
    ASSERT_TRUE(status.ok()) << status.error().description().toStdString();

    const QString root = temp.path(QStringLiteral("data 100%% $HOME"));
    EXPECT_EQ(QString::fromUtf8(test::readAll(service())),
              QStringLiteral("[Unit]\n"
                             "Description=VelmoraWallpaper 壁纸刷新\n"
                             "\n"
                             "[Service]\n"
                             "Type=oneshot\n"
                             "ExecStart=\"%1/Velmora Wallpaper 2%%\" --refresh\n"
                             "WorkingDirectory=%2\n"
                             "StandardOutput=append:%2/logs/launch-agent.log\n"
                             "StandardError=append:%2/logs/launch-agent.error.log\n")
                  .arg(temp.path(), root));
    EXPECT_EQ(QString::fromUtf8(test::readAll(timer())),
              QStringLiteral("[Unit]\n"
                             "Description=VelmoraWallpaper 登录时及每 3600 秒刷新壁纸\n"
                             "\n"
                             "[Timer]\n"
                             "OnStartupSec=1min\n"
                             "OnUnitActiveSec=3600s\n"
                             "\n"
                             "[Install]\n"
                             "WantedBy=timers.target\n"));
    EXPECT_EQ(test::permissions(service()), 0600);
    EXPECT_EQ(test::permissions(timer()), 0600);
    EXPECT_TRUE(QFileInfo(paths.logs()).isDir());
    EXPECT_EQ(QString::fromUtf8(test::readAll(systemctlLog())),
              QStringLiteral("--user daemon-reload\n--user enable --now ") + kTimer + u'\n');

    EXPECT_FALSE(enabled.isEnabled()) << "written but not recorded as enabled by systemd";
    linkTimerAsSystemdDoes();
    EXPECT_TRUE(enabled.isEnabled());
    EXPECT_TRUE(enabled.setEnabled(true).ok()) << "enabling again rewrites in place";
    EXPECT_EQ(QDir(unitFolder()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("example.velmora.wallpaper.refresh.service"), kTimer}));
}

TEST_F(SystemdUserAgentTest, SystemdAcceptsTheUnitsAndReadsBackTheExactPaths) {
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    // Paths that only survive correct quoting: spaces, "%", "%" followed by a specifier letter,
    // "$" and a backslash inside the data directory.
    const QString program = makeExecutable(QStringLiteral("Velmora %h $HOME 100%"));
    paths = ClientPaths(temp.path(QStringLiteral("data %Z $USER a\\b")));
    SystemdUserAgent enabled = agent(program);
    ASSERT_TRUE(enabled.setEnabled(true).ok());

    const ToolResult verified = runSystemdTool(
        analyze, {QStringLiteral("--user"), QStringLiteral("verify"), service(), timer()},
        runtimeDir);
    if (verified.status == -1)
        GTEST_SKIP() << "systemd-analyze could not run here";
    // systemd-analyze checks that the program exists at the path it read, and warns about
    // every specifier it cannot resolve; silence means every path came through unchanged
    // as far as it can tell.
    EXPECT_EQ(verified.status, 0) << verified.output.toStdString();
    EXPECT_EQ(verified.output, QString());

    linkTimerAsSystemdDoes();
    EXPECT_TRUE(enabled.isEnabled());
}

TEST_F(SystemdUserAgentTest, RealSystemctlWithoutAUserManagerRecordsTheTimerAndReportsTheStart) {
    const QString real = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (real.isEmpty())
        GTEST_SKIP() << "systemctl is not installed";
    // systemctl found on PATH, working on unit files itself (as it does without a booted
    // systemd), and no user manager anywhere in reach: a private runtime directory, no bus.
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", runtimeDir.toUtf8());
    const ScopedEnvironment clientSide("SYSTEMCTL_INSTALL_CLIENT_SIDE", "1");
    const ScopedEnvironment config("XDG_CONFIG_HOME", configHome.toUtf8());
    SystemdUserAgent onPath(paths, 3600, SystemdAgentEnvironment{{}, {}, executable});
    EXPECT_EQ(onPath.unitFolder(), unitFolder());

    const Status status = onPath.setEnabled(true);
    ASSERT_FALSE(status.ok()) << "the timer could not be started, and the user is told";
    const QString prefix = QStringLiteral("LaunchAgent 启动失败：");
    EXPECT_TRUE(status.error().description().startsWith(prefix));
    EXPECT_GT(status.error().description().size(), prefix.size());

    const QStringList isEnabled{QStringLiteral("--user"), QStringLiteral("is-enabled"), kTimer};
    EXPECT_EQ(runSystemdTool(real, isEnabled, runtimeDir).output.trimmed(),
              QStringLiteral("enabled"));
    EXPECT_TRUE(onPath.isEnabled());
    EXPECT_FALSE(agent(QStringLiteral("/usr/bin/other-copy")).isEnabled());

    const Status disabled = onPath.setEnabled(false);
    ASSERT_TRUE(disabled.ok()) << disabled.error().description().toStdString();
    EXPECT_FALSE(onPath.isEnabled());
    EXPECT_NE(runSystemdTool(real, isEnabled, runtimeDir).status, 0);
    EXPECT_FALSE(QFileInfo::exists(service()));
    EXPECT_FALSE(QFileInfo::exists(timer()));
    EXPECT_FALSE(test::isSymbolicLink(wantsLink()));
}

TEST_F(SystemdUserAgentTest, AFailingEnableIsReportedWithTheToolsTrimmedOutput) {
    struct Case {
        QByteArray failing;
        QByteArray output;
        QString message; // empty: success
    };
    const Case cases[] = {
        {kTimer.toUtf8(), "", QStringLiteral("LaunchAgent 启动失败：")},
        {kTimer.toUtf8(), "\nFailed to enable unit: Unit file is masked.\n",
         QStringLiteral("LaunchAgent 启动失败：Failed to enable unit: Unit file is masked.")},
        {"daemon-reload", "Failed to connect to bus", QString()},
    };
    for (const Case &c : cases) {
        writeFakeSystemctl(systemctl, c.failing, c.output);
        SystemdUserAgent enabled = agent(executable);
        const Status status = enabled.setEnabled(true);
        EXPECT_EQ(status.ok() ? QString() : status.error().description(), c.message)
            << c.failing.constData();
    }

    systemctl = temp.path(QStringLiteral("no-systemctl"));
    SystemdUserAgent missingTool = agent(executable);
    const Status status = missingTool.setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.error().description().startsWith(QStringLiteral("LaunchAgent 启动失败：")));
    EXPECT_GT(status.error().description().size(), QStringLiteral("LaunchAgent 启动失败：").size());
}

TEST_F(SystemdUserAgentTest, PathsThatAUnitFileCannotCarryAreRefusedBeforeAnythingIsWritten) {
    const QString noExecutableMessage = QStringLiteral("无法确定客户端可执行文件路径。");
    struct Case {
        QString executable;
        QString root;
        QString refused; // the path named in the message
    };
    const QString root = paths.root();
    const Case cases[] = {
        {temp.path(QStringLiteral("quote\"d")), root, temp.path(QStringLiteral("quote\"d"))},
        {temp.path(QStringLiteral("it's")), root, temp.path(QStringLiteral("it's"))},
        {temp.path(QStringLiteral("back\\slash")), root, temp.path(QStringLiteral("back\\slash"))},
        {temp.path(QStringLiteral("new\nline")), root, temp.path(QStringLiteral("new\nline"))},
        {executable, temp.path(QStringLiteral("trailing space ")),
         temp.path(QStringLiteral("trailing space "))},
        {executable, temp.path(QStringLiteral("ends in\\")),
         temp.path(QStringLiteral("ends in\\"))},
        {executable, temp.path(QStringLiteral("tab\there")),
         temp.path(QStringLiteral("tab\there"))},
    };
    for (const Case &c : cases) {
        SystemdUserAgent refused(ClientPaths(c.root), 3600,
                                 SystemdAgentEnvironment{systemctl, configHome, c.executable});
        const Status status = refused.setEnabled(true);
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().description(),
                  QStringLiteral("无法写入 LaunchAgent：“%1”含有 systemd 单元文件无法表示的字符。")
                      .arg(c.refused));
    }
    SystemdUserAgent unknown = agent(QString());
    const Status status = unknown.setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().description(), noExecutableMessage);

    EXPECT_FALSE(QFileInfo::exists(unitFolder()));
    EXPECT_FALSE(QFileInfo::exists(systemctlLog()));
}

TEST_F(SystemdUserAgentTest, IsEnabledOnlyForOurProgramWithTheTimerLinkedAsSystemdRecordsIt) {
    // The executable's name has a "%", which a unit file doubles.
    const QString escaped = QString(executable).replace(u'%', QStringLiteral("%%"));
    const QString ours = QStringLiteral("[Service]\nExecStart=\"%1\" --refresh\n").arg(escaped);
    struct Case {
        const char *name;
        QString service;
        bool enabled;
    };
    const Case cases[] = {
        {"ours", ours, true},
        {"unquoted path without spaces",
         QStringLiteral("[Service]\nExecStart=/usr/bin/velmora --refresh\n"), false},
        {"another copy",
         QStringLiteral("[Service]\nExecStart=\"/opt/old/VelmoraWallpaper\" --refresh\n"), false},
        {"unescaped percent sign", QStringLiteral("[Service]\nExecStart=\"%1\"\n").arg(executable),
         false},
        {"ExecStart outside [Service]",
         QStringLiteral("[Unit]\nExecStart=\"%1\"\n[Service]\n").arg(escaped), false},
        {"unresolvable specifier", QStringLiteral("[Service]\nExecStart=\"%h/x\"\n"), false},
        {"unterminated quote", QStringLiteral("[Service]\nExecStart=\"%1\n").arg(escaped), false},
        {"empty", QString(), false},
    };
    ASSERT_TRUE(QDir().mkpath(unitFolder()));
    ASSERT_TRUE(test::writeFile(timer(), "[Timer]\n"));
    linkTimerAsSystemdDoes();
    for (const Case &c : cases) {
        ASSERT_TRUE(test::writeFile(service(), c.service.toUtf8()));
        EXPECT_EQ(agent(executable).isEnabled(), c.enabled) << c.name;
    }

    ASSERT_TRUE(test::writeFile(service(), ours.toUtf8()));
    ASSERT_TRUE(QFile::remove(wantsLink()));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("elsewhere.timer")), wantsLink()));
    EXPECT_FALSE(agent(executable).isEnabled()) << "the link leads to another file";
    ASSERT_TRUE(QFile::remove(wantsLink()));
    ASSERT_TRUE(test::writeFile(wantsLink(), "[Timer]\n"));
    EXPECT_FALSE(agent(executable).isEnabled()) << "a copy is not how systemd records enabling";
    ASSERT_TRUE(QFile::remove(wantsLink()));
    linkTimerAsSystemdDoes();
    ASSERT_TRUE(QFile::remove(timer()));
    EXPECT_FALSE(agent(executable).isEnabled()) << "dangling link";
}

TEST_F(SystemdUserAgentTest, DisableRemovesEverythingEvenWhenSystemctlCannotRun) {
    SystemdUserAgent absent = agent(executable);
    const Status nothingThere = absent.setEnabled(false);
    EXPECT_TRUE(nothingThere.ok()) << nothingThere.error().description().toStdString();
    EXPECT_EQ(QString::fromUtf8(test::readAll(systemctlLog())),
              QStringLiteral("--user disable --now ") + kTimer + u'\n');

    SystemdUserAgent enabled = agent(executable);
    ASSERT_TRUE(enabled.setEnabled(true).ok());
    linkTimerAsSystemdDoes();
    systemctl = temp.path(QStringLiteral("no-systemctl"));
    SystemdUserAgent withoutTool = agent(executable);
    const Status status = withoutTool.setEnabled(false);
    ASSERT_TRUE(status.ok()) << status.error().description().toStdString();
    EXPECT_EQ(QDir(unitFolder())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System),
              QStringList{QStringLiteral("timers.target.wants")});
    EXPECT_TRUE(
        QDir(QFileInfo(wantsLink()).absolutePath())
            .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
}

TEST_F(SystemdUserAgentTest, AUnitThatCannotBeRemovedIsReported) {
    ASSERT_TRUE(QDir().mkpath(service() + QStringLiteral("/occupied")));
    SystemdUserAgent enabled = agent(executable);
    const Status status = enabled.setEnabled(false);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.error().description().startsWith(QStringLiteral("无法删除 LaunchAgent：")))
        << status.error().description().toStdString();
}

TEST(LoginAgentTest, ThisPlatformUsesTheSystemdUserTimerWithTheIntervalFloor) {
    const std::unique_ptr<LoginAgent> agent =
        makeLoginAgent(ClientPaths(QStringLiteral("/tmp/velmora-unused")), 60);
    const auto *systemd = dynamic_cast<const SystemdUserAgent *>(agent.get());
    ASSERT_NE(systemd, nullptr);
    EXPECT_EQ(systemd->interval(), 300);
}

} // namespace
} // namespace velmora
