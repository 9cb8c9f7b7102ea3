#include "agent/SystemdUserAgent.h"
#include "agent/LaunchAgentManager.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

const QString kTimer = u"example.velmora.wallpaper.refresh.timer"_s;
const QString kStartFailed = u"开机自动刷新服务启动失败："_s;

// A stand-in for systemctl that records each call as one line in "<script>.log" and runs the
// shell commands `action` for the call whose last argument is `failing`.
QString writeFakeSystemctl(const QString &path, const QByteArray &failing = {},
                           const QByteArray &action = {}) {
    EXPECT_TRUE(test::writeFile(path,
                                "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$0.log\"\n"
                                "for last; do :; done\nif [ \"$last\" = '" +
                                    failing + "' ]; then " + action + "\n:; fi\n",
                                0755));
    return path;
}

class SystemdUserAgentTest : public ::testing::Test {
protected:
    SystemdUserAgent agent(std::optional<QString> program = {}) const {
        return SystemdUserAgent(
            paths, 3600,
            SystemdAgentEnvironment{systemctl, configHome, program.value_or(executable), 1s});
    }

    QString makeExecutable(const QString &name) const {
        EXPECT_TRUE(test::writeFile(temp.path(name), "#!/bin/sh\n", 0755));
        return temp.path(name);
    }

    test::TempDir temp;
    QString configHome = temp.path(u"config"_s);
    QString unitFolder = configHome + u"/systemd/user"_s;
    QString service = unitFolder + u"/example.velmora.wallpaper.refresh.service"_s;
    QString timer = unitFolder + u'/' + kTimer;
    QString wantsLink = unitFolder + u"/timers.target.wants/"_s + kTimer;
    ClientPaths paths{temp.path(u"data 100% $HOME"_s)};
    QString executable = makeExecutable(u"Velmora Wallpaper 2%"_s);
    QString systemctl = writeFakeSystemctl(temp.path(u"systemctl"_s));
};

TEST_F(SystemdUserAgentTest, EnableWritesTheUnitsAndDisableRemovesThem) {
    ASSERT_TRUE(agent().setEnabled(true).ok());

    EXPECT_EQ(
        QString::fromUtf8(test::readAll(service)),
        u"[Unit]\nDescription=VelmoraWallpaper 壁纸刷新\n\n"
        "[Service]\nType=oneshot\nTimeoutStartSec=15min\n"
        "ExecStart=\"%1/Velmora Wallpaper 2%%\" --refresh --app-data \"%3\"\n"
        "WorkingDirectory=%2\n"
        "StandardOutput=append:%2/logs/launch-agent.log\n"
        "StandardError=append:%2/logs/launch-agent.error.log\n"_s.arg(
            temp.path(), temp.path(u"data 100%% $HOME"_s), temp.path(u"data 100%% $$HOME"_s)));
    EXPECT_EQ(QString::fromUtf8(test::readAll(timer)),
              u"[Unit]\nDescription=VelmoraWallpaper 登录时及每 3600 秒刷新壁纸\n\n"
              "[Timer]\nOnStartupSec=1min\nOnUnitActiveSec=3600s\n\n"
              "[Install]\nWantedBy=timers.target\n"_s);
    EXPECT_EQ(test::permissions(service), 0600);
    EXPECT_EQ(QString::fromUtf8(test::readAll(systemctl + u".log"_s)),
              u"--user daemon-reload\n--user enable --now "_s + kTimer + u'\n');
    EXPECT_FALSE(agent().isEnabled()) << "written but not recorded as enabled by systemd";

    // The timer counts as enabled once systemd has linked it, and only for the program its service
    // runs: an older installation's unit is not ours to report. Disabling removes every file even
    // when systemctl cannot run.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(wantsLink).absolutePath()));
    ASSERT_TRUE(QFile::link(timer, wantsLink));
    EXPECT_TRUE(agent().isEnabled());
    EXPECT_FALSE(agent(makeExecutable(u"old"_s)).isEnabled());

    systemctl = temp.path(u"no-systemctl"_s);
    EXPECT_EQ(test::failureOf(agent().setEnabled(false)), QString());
    const auto everything = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System;
    EXPECT_EQ(QDir(unitFolder).entryList(everything), QStringList{u"timers.target.wants"_s});
    EXPECT_TRUE(QDir(QFileInfo(wantsLink).absolutePath()).isEmpty(everything));

    QDir().mkpath(service + u"/occupied"_s);
    EXPECT_TRUE(
        test::failureOf(agent().setEnabled(false)).startsWith(u"无法删除开机自动刷新服务："_s));
}

// systemctl works on unit files itself without a user manager (containers, CI): it records the
// timer as enabled, which is what isEnabled() reads, while the failed start is reported. The
// paths only survive correct quoting: spaces, "%" before a specifier letter, "$", a backslash.
TEST_F(SystemdUserAgentTest, RealSystemdToolsAcceptTheUnitsAndRecordTheTimer) {
    const QString analyze = QStandardPaths::findExecutable(u"systemd-analyze"_s);
    if (QStandardPaths::findExecutable(u"systemctl"_s).isEmpty() || analyze.isEmpty())
        GTEST_SKIP() << "systemd is not installed";
    const test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", temp.path().toUtf8());
    const test::ScopedEnvironment clientSide("SYSTEMCTL_INSTALL_CLIENT_SIDE", "1");
    const test::ScopedEnvironment config("XDG_CONFIG_HOME", configHome.toUtf8());
    paths = ClientPaths(temp.path(u"data %Z $USER a\\b"_s));
    SystemdUserAgent onPath(paths, 3600,
                            SystemdAgentEnvironment{{}, {}, makeExecutable(u"V %h $HOME 100%"_s)});

    EXPECT_TRUE(test::failureOf(onPath.setEnabled(true)).startsWith(kStartFailed));
    EXPECT_TRUE(onPath.isEnabled());
    // Silence: the program exists at the path systemd read, and no specifier went unresolved.
    QProcess verify;
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start(analyze, {u"--user"_s, u"verify"_s, service, timer});
    verify.waitForFinished(60000);
    EXPECT_EQ(verify.readAll().trimmed() + QByteArray::number(verify.exitCode()), "0");
}

// The call that fails, what the stand-in does then, and the message (empty: success).
TEST_F(SystemdUserAgentTest, AFailingEnableIsReportedWithTheToolsTrimmedOutput) {
    const std::tuple<QByteArray, QByteArray, QString> cases[] = {
        {kTimer.toUtf8(), "printf '\\nFailed to enable unit: Unit file is masked.\\n'; exit 1",
         kStartFailed + u"Failed to enable unit: Unit file is masked."_s},
        {"daemon-reload", "printf 'Failed to connect to bus'; exit 1", QString()},
        {kTimer.toUtf8(), "exec sleep 10",
         kStartFailed + u"systemctl 在 1 秒内没有结束，已终止。"_s},
    };
    for (const auto &[failing, action, message] : cases) {
        writeFakeSystemctl(systemctl, failing, action);
        EXPECT_EQ(test::failureOf(agent().setEnabled(true)), message) << action.data();
    }
}

TEST_F(SystemdUserAgentTest, PathsThatAUnitFileCannotCarryAreRefusedBeforeAnythingIsWritten) {
    const QString program = temp.path(u"quote\"d"_s);
    const QString sentence =
        u"无法写入开机自动刷新服务：“%1”含有 systemd 单元文件无法表示的字符。"_s;
    EXPECT_EQ(test::failureOf(agent(program).setEnabled(true)), sentence.arg(program));
    EXPECT_FALSE(QFileInfo::exists(unitFolder));
    EXPECT_FALSE(QFileInfo::exists(systemctl + u".log"_s));
}

const QString kExecutable =
    u"/Applications/Velmora Wallpaper.app/Contents/MacOS/VelmoraWallpaper"_s;

// The macOS agent: the private data directory travels as --app-data, escaped for XML.
TEST(LaunchAgentManagerTest, EnableWritesTheAgentForThisExecutableOnly) {
    test::TempDir temp;
    const QString home = temp.path(u"home"_s);
    const QString agentFile =
        home + u"/Library/LaunchAgents/example.velmora.wallpaper.refresh.plist"_s;
    const ClientPaths paths(temp.path(u"Velmora data & <notes"_s));
    const QString launchctl = writeFakeSystemctl(temp.path(u"launchctl"_s));
    const auto manager = [&](const QString &executable) {
        return LaunchAgentManager(paths, 3600,
                                  LaunchAgentEnvironment{launchctl, home, executable, 501, 1s});
    };

    ASSERT_EQ(test::failureOf(manager(kExecutable).setEnabled(true)), QString());
    EXPECT_EQ(QString::fromUtf8(test::readAll(agentFile)),
              u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
              "<plist version=\"1.0\">\n<dict>\n"
              "\t<key>Label</key>\n\t<string>example.velmora.wallpaper.refresh</string>\n"
              "\t<key>ProgramArguments</key>\n\t<array>\n"
              "\t\t<string>%1</string>\n\t\t<string>--refresh</string>\n"
              "\t\t<string>--app-data</string>\n\t\t<string>%2</string>\n\t</array>\n"
              "\t<key>RunAtLoad</key>\n\t<true/>\n"
              "\t<key>StartInterval</key>\n\t<integer>3600</integer>\n"
              "\t<key>ProcessType</key>\n\t<string>Background</string>\n"
              "\t<key>WorkingDirectory</key>\n\t<string>%2</string>\n"
              "\t<key>StandardOutPath</key>\n\t<string>%2/logs/launch-agent.log</string>\n"
              "\t<key>StandardErrorPath</key>\n"
              "\t<string>%2/logs/launch-agent.error.log</string>\n"
              "</dict>\n</plist>\n"_s.arg(kExecutable, paths.root().toHtmlEscaped()));
    EXPECT_EQ(test::permissions(agentFile), 0600);
    EXPECT_EQ(QString::fromUtf8(test::readAll(launchctl + u".log"_s)),
              u"bootout gui/501 %1\nbootstrap gui/501 %1\n"_s.arg(agentFile));
    EXPECT_TRUE(manager(kExecutable).isEnabled());
    EXPECT_FALSE(manager(u"/Applications/Old/VelmoraWallpaper"_s).isEnabled());
}

} // namespace
} // namespace velmora
