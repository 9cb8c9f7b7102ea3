#include "agent/LaunchAgentManager.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

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

class LaunchAgentManagerTest : public ::testing::Test {
protected:
    LaunchAgentManager manager(const QString &executable = kExecutable) const {
        return LaunchAgentManager(paths, 3600,
                                  LaunchAgentEnvironment{launchctl, home, executable, 501, 1s});
    }

    test::TempDir temp;
    QString home = temp.path(QStringLiteral("home"));
    QString agentFile =
        home + QStringLiteral("/Library/LaunchAgents/example.velmora.wallpaper.refresh.plist");
    ClientPaths paths{temp.path(QStringLiteral("Velmora data & <notes"))};
    QString launchctl = writeFakeLaunchctl(temp.path(QStringLiteral("launchctl")));
};

// The private data directory travels as --app-data, escaped for XML.
TEST_F(LaunchAgentManagerTest, EnableWritesTheAgentForThisExecutableOnly) {
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
    EXPECT_EQ(QString::fromUtf8(test::readAll(launchctl + QStringLiteral(".log"))),
              QStringLiteral("bootout gui/501 %1\nbootstrap gui/501 %1\n").arg(agentFile));
    EXPECT_TRUE(manager().isEnabled());
    EXPECT_FALSE(manager(QStringLiteral("/Applications/Old/VelmoraWallpaper")).isEnabled());
}

// launchctl's own words, trimmed, follow the sentence; the written file stays.
TEST_F(LaunchAgentManagerTest, ALoadFailureIsReportedWithTheToolsTrimmedOutputAndKeepsTheFile) {
    const std::pair<QByteArray, QString> cases[] = {
        {"printf ' \\nBootstrap failed: 5: 输入/输出错误\\n\\n'; exit 5",
         kStartFailed + QStringLiteral("Bootstrap failed: 5: 输入/输出错误")},
        {"exec sleep 10", kStartFailed + QStringLiteral("launchctl 在 1 秒内没有结束，已终止。")},
    };
    for (const auto &[bootstrap, message] : cases) {
        writeFakeLaunchctl(launchctl, bootstrap);
        EXPECT_EQ(test::failureOf(manager().setEnabled(true)), message) << bootstrap.data();
        EXPECT_TRUE(manager().isEnabled());
    }
}

} // namespace
} // namespace velmora
