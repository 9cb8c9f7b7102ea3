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

// Runs a real systemd tool; no user manager can be reached from it. Status -1: it could not run.
struct ToolResult {
    int status = -1;
    QString output;
};
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
struct ScopedEnvironment {
    ScopedEnvironment(const char *name, const QByteArray &value)
        : name(name)
        , old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnvironment() { old.isNull() ? void(qunsetenv(name)) : void(qputenv(name, old)); }
    const char *name;
    QByteArray old;
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

    SystemdUserAgent agent(std::optional<QString> executable) const {
        return SystemdUserAgent(
            paths, 3600, SystemdAgentEnvironment{systemctl, configHome, std::move(executable)});
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
    ASSERT_TRUE(enabled.setEnabled(true).ok());

    const QString root = temp.path(QStringLiteral("data 100%% $HOME"));
    EXPECT_EQ(QString::fromUtf8(test::readAll(service())),
              QStringLiteral("[Unit]\nDescription=VelmoraWallpaper 壁纸刷新\n\n"
                             "[Service]\nType=oneshot\nTimeoutStartSec=15min\n"
                             "ExecStart=\"%1/Velmora Wallpaper 2%%\" --refresh\n"
                             "WorkingDirectory=%2\n"
                             "StandardOutput=append:%2/logs/launch-agent.log\n"
                             "StandardError=append:%2/logs/launch-agent.error.log\n")
                  .arg(temp.path(), root));
    EXPECT_EQ(QString::fromUtf8(test::readAll(timer())),
              QStringLiteral("[Unit]\nDescription=VelmoraWallpaper 登录时及每 3600 秒刷新壁纸\n\n"
                             "[Timer]\nOnStartupSec=1min\nOnUnitActiveSec=3600s\n\n"
                             "[Install]\nWantedBy=timers.target\n"));
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
    ASSERT_TRUE(agent(program).setEnabled(true).ok());

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
    EXPECT_TRUE(agent(program).isEnabled());
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

    ASSERT_TRUE(onPath.setEnabled(false).ok());
    EXPECT_FALSE(onPath.isEnabled());
    EXPECT_NE(runSystemdTool(real, isEnabled, runtimeDir).status, 0);
    EXPECT_FALSE(QFileInfo::exists(service()));
    EXPECT_FALSE(QFileInfo::exists(timer()));
    EXPECT_FALSE(test::isSymbolicLink(wantsLink()));
}

TEST_F(SystemdUserAgentTest, AFailingEnableIsReportedWithTheToolsTrimmedOutput) {
    const QString prefix = QStringLiteral("LaunchAgent 启动失败：");
    // The call that fails, what it prints, and the message (empty: success).
    const std::tuple<QByteArray, QByteArray, QString> cases[] = {
        {kTimer.toUtf8(), "", prefix},
        {kTimer.toUtf8(), "\nFailed to enable unit: Unit file is masked.\n",
         prefix + QStringLiteral("Failed to enable unit: Unit file is masked.")},
        {"daemon-reload", "Failed to connect to bus", QString()},
    };
    for (const auto &[failing, output, message] : cases) {
        writeFakeSystemctl(systemctl, failing, output);
        const Status status = agent(executable).setEnabled(true);
        EXPECT_EQ(status.ok() ? QString() : status.error().description(), message)
            << failing.data();
    }

    systemctl = temp.path(QStringLiteral("no-systemctl"));
    const Status status = agent(executable).setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.error().description().startsWith(prefix));
    EXPECT_GT(status.error().description().size(), prefix.size());
}

TEST_F(SystemdUserAgentTest, PathsThatAUnitFileCannotCarryAreRefusedBeforeAnythingIsWritten) {
    // Names in the temporary folder; the first four as the executable, the rest as the data
    // directory.
    const QStringList names{QStringLiteral("quote\"d"),        QStringLiteral("it's"),
                            QStringLiteral("back\\slash"),     QStringLiteral("new\nline"),
                            QStringLiteral("trailing space "), QStringLiteral("ends in\\"),
                            QStringLiteral("tab\there")};
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString refused = temp.path(names[i]);
        SystemdUserAgent refusing(
            ClientPaths(i < 4 ? paths.root() : refused), 3600,
            SystemdAgentEnvironment{systemctl, configHome, i < 4 ? refused : executable});
        const Status status = refusing.setEnabled(true);
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().description(),
                  QStringLiteral("无法写入 LaunchAgent：“%1”含有 systemd 单元文件无法表示的字符。")
                      .arg(refused));
    }
    const Status status = agent(QString()).setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().description(), QStringLiteral("无法确定客户端可执行文件路径。"));

    EXPECT_FALSE(QFileInfo::exists(unitFolder()));
    EXPECT_FALSE(QFileInfo::exists(systemctlLog()));
}

TEST_F(SystemdUserAgentTest, IsEnabledOnlyForOurProgramWithTheTimerLinkedAsSystemdRecordsIt) {
    // The executable's name has a "%", which a unit file doubles.
    const QString escaped = QString(executable).replace(u'%', QStringLiteral("%%"));
    const QString ours = QStringLiteral("[Service]\nExecStart=\"%1\" --refresh\n").arg(escaped);
    const QString refused[] = {
        QStringLiteral("[Service]\nExecStart=/usr/bin/velmora --refresh\n"), // unquoted
        QStringLiteral("[Service]\nExecStart=\"/opt/old/VelmoraWallpaper\" --refresh\n"),
        QStringLiteral("[Service]\nExecStart=\"%1\"\n").arg(executable), // "%" not doubled
        QStringLiteral("[Unit]\nExecStart=\"%1\"\n[Service]\n").arg(escaped),
        QStringLiteral("[Service]\nExecStart=\"%h/x\"\n"),          // unresolvable specifier
        QStringLiteral("[Service]\nExecStart=\"%1\n").arg(escaped), // unterminated quote
        QString(),
    };
    ASSERT_TRUE(QDir().mkpath(unitFolder()));
    ASSERT_TRUE(test::writeFile(timer(), "[Timer]\n"));
    linkTimerAsSystemdDoes();
    for (const QString &unit : refused) {
        ASSERT_TRUE(test::writeFile(service(), unit.toUtf8()));
        EXPECT_FALSE(agent(executable).isEnabled()) << unit.toStdString();
    }
    ASSERT_TRUE(test::writeFile(service(), ours.toUtf8()));
    EXPECT_TRUE(agent(executable).isEnabled());

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
    const Status nothingThere = agent(executable).setEnabled(false);
    EXPECT_TRUE(nothingThere.ok()) << nothingThere.error().description().toStdString();
    EXPECT_EQ(QString::fromUtf8(test::readAll(systemctlLog())),
              QStringLiteral("--user disable --now ") + kTimer + u'\n');

    ASSERT_TRUE(agent(executable).setEnabled(true).ok());
    linkTimerAsSystemdDoes();
    systemctl = temp.path(QStringLiteral("no-systemctl"));
    const Status status = agent(executable).setEnabled(false);
    ASSERT_TRUE(status.ok()) << status.error().description().toStdString();
    const auto everything = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System;
    EXPECT_EQ(QDir(unitFolder()).entryList(everything),
              QStringList{QStringLiteral("timers.target.wants")});
    EXPECT_TRUE(QDir(QFileInfo(wantsLink()).absolutePath()).isEmpty(everything));
}

TEST_F(SystemdUserAgentTest, AUnitThatCannotBeRemovedIsReported) {
    ASSERT_TRUE(QDir().mkpath(service() + QStringLiteral("/occupied")));
    const Status status = agent(executable).setEnabled(false);
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
