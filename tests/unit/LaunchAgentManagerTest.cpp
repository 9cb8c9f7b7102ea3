#include "agent/LaunchAgentManager.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <QDir>

#include <gtest/gtest.h>
#include <plist/plist.h>

namespace velmora {
namespace {

using namespace std::chrono_literals;

const QString kExecutable =
    QStringLiteral("/Applications/Velmora Wallpaper.app/Contents/MacOS/VelmoraWallpaper");
const QString kStartFailed = QStringLiteral("LaunchAgent 启动失败：");

// A stand-in for launchctl that records each call as one line in "<script>.log" and runs the
// shell commands `bootstrap` for that subcommand.
QString writeFakeLaunchctl(const QString &path, const QByteArray &bootstrap = "exit 0") {
    EXPECT_TRUE(test::writeFile(path,
                                "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$0.log\"\n"
                                "if [ \"$1\" = bootstrap ]; then " +
                                    bootstrap + "; fi\n",
                                0755));
    return path;
}

QByteArray agentXml(const QString &dictionary) {
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + dictionary +
            "</plist>")
        .toUtf8();
}

QByteArray toBinary(const QByteArray &xml) {
    plist_t root = nullptr;
    plist_from_memory(xml.constData(), uint32_t(xml.size()), &root);
    char *data = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &data, &length);
    const QByteArray bytes(data, qsizetype(length));
    plist_to_bin_free(data);
    plist_free(root);
    return bytes;
}

class LaunchAgentManagerTest : public ::testing::Test {
protected:
    LaunchAgentManager manager(const QString &executable = kExecutable, int interval = 3600) const {
        return LaunchAgentManager(paths, interval,
                                  LaunchAgentEnvironment{launchctl, home, executable, 501, 1s});
    }

    test::TempDir temp;
    QString home = temp.path(QStringLiteral("home"));
    QString agentFile =
        home + QStringLiteral("/Library/LaunchAgents/example.velmora.wallpaper.refresh.plist");
    ClientPaths paths{temp.path(QStringLiteral("Velmora data & <notes"))};
    QString launchctl = writeFakeLaunchctl(temp.path(QStringLiteral("launchctl")));
};

TEST_F(LaunchAgentManagerTest, EnableWritesTheAgentAndLoadsItIntoTheUsersDomain) {
    ASSERT_EQ(test::failureOf(manager().setEnabled(true)), QString());

    QString root = paths.root();
    root.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;"));
    EXPECT_EQ(
        QString::fromUtf8(test::readAll(agentFile)),
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
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
                       "</dict>\n</plist>\n")
            .arg(kExecutable, root));
    EXPECT_EQ(test::permissions(agentFile), 0600);
    EXPECT_TRUE(QFileInfo(paths.logs()).isDir()) << "the data directory is made first";
    EXPECT_EQ(QString::fromUtf8(test::readAll(launchctl + QStringLiteral(".log"))),
              QStringLiteral("bootout gui/501 %1\nbootstrap gui/501 %1\n").arg(agentFile));

    // Enabled again with too short an interval: one file, rewritten with the floor.
    ASSERT_TRUE(manager(kExecutable, 60).setEnabled(true).ok());
    EXPECT_EQ(QDir(QFileInfo(agentFile).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_TRUE(test::readAll(agentFile).contains("<integer>300</integer>"));

    ASSERT_TRUE(manager().setEnabled(false).ok());
    EXPECT_FALSE(QFileInfo::exists(agentFile));
    EXPECT_TRUE(QString::fromUtf8(test::readAll(launchctl + QStringLiteral(".log")))
                    .endsWith(QStringLiteral("bootout gui/501 %1\n").arg(agentFile)));
    EXPECT_EQ(test::failureOf(manager().setEnabled(false)), QString()) << "nothing to remove";
}

// launchctl's own words, trimmed, follow the sentence; the written file stays.
TEST_F(LaunchAgentManagerTest, ALoadFailureIsReportedWithTheToolsTrimmedOutputAndKeepsTheFile) {
    const std::pair<QByteArray, QString> cases[] = {
        {"printf ' \\nBootstrap failed: 5: 输入/输出错误\\n\\n'; exit 5",
         kStartFailed + QStringLiteral("Bootstrap failed: 5: 输入/输出错误")},
        {"printf '\\377\\376 not text'; exit 1", kStartFailed},
        {"exec sleep 10", kStartFailed + QStringLiteral("launchctl 在 1 秒内没有结束，已终止。")},
    };
    for (const auto &[bootstrap, message] : cases) {
        writeFakeLaunchctl(launchctl, bootstrap);
        EXPECT_EQ(test::failureOf(manager().setEnabled(true)), message) << bootstrap.data();
        EXPECT_TRUE(manager().isEnabled());
    }
}

TEST_F(LaunchAgentManagerTest, IsEnabledOnlyForAWellFormedAgentOfThisExecutable) {
    const auto naming = [](const QString &first) {
        return agentXml(
            QStringLiteral("<dict><key>ProgramArguments</key><array>%1</array></dict>").arg(first));
    };
    const QByteArray ours = naming(QStringLiteral("<string>%1</string>").arg(kExecutable));
    const std::tuple<const char *, QByteArray, QString, bool> cases[] = {
        {"XML naming this executable", ours, kExecutable, true},
        {"binary naming this executable", toBinary(ours), kExecutable, true},
        {"another copy",
         naming(QStringLiteral("<string>/Applications/Old/VelmoraWallpaper</string>")), kExecutable,
         false},
        {"not a property list", "ProgramArguments = /usr/bin/true\n", kExecutable, false},
        {"running executable unknown", ours, QString(), false},
    };
    ASSERT_TRUE(QDir().mkpath(QFileInfo(agentFile).path()));
    for (const auto &[name, bytes, executable, enabled] : cases) {
        ASSERT_TRUE(test::writeFile(agentFile, bytes));
        EXPECT_EQ(manager(executable).isEnabled(), enabled) << name;
    }

    // A link is never followed, even to a file that would qualify.
    QFile::rename(agentFile, temp.path(QStringLiteral("elsewhere.plist")));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("elsewhere.plist")), agentFile));
    EXPECT_FALSE(manager().isEnabled());
}

TEST_F(LaunchAgentManagerTest, FailuresCarryTheirSentenceAndStopBeforeLaunchctl) {
    EXPECT_EQ(test::failureOf(manager(QString()).setEnabled(true)),
              QStringLiteral("无法确定客户端可执行文件路径。"));
    ASSERT_TRUE(QDir().mkpath(home));
    ASSERT_TRUE(test::writeFile(home + QStringLiteral("/Library"), "not a folder"));
    EXPECT_TRUE(test::failureOf(manager().setEnabled(true))
                    .startsWith(QStringLiteral("无法写入 LaunchAgent：")));
    EXPECT_FALSE(QFileInfo::exists(launchctl + QStringLiteral(".log")));

    ASSERT_TRUE(QFile::remove(home + QStringLiteral("/Library")));
    ASSERT_TRUE(QDir().mkpath(agentFile + QStringLiteral("/occupied")));
    EXPECT_TRUE(test::failureOf(manager().setEnabled(false))
                    .startsWith(QStringLiteral("无法删除 LaunchAgent：")));
}

} // namespace
} // namespace velmora
