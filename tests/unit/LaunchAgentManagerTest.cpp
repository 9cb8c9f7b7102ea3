#include "agent/LaunchAgentManager.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

const QString kExecutable =
    u"/Applications/Velmora Wallpaper.app/Contents/MacOS/VelmoraWallpaper"_s;

// The private data directory travels as --app-data, escaped for XML. The stand-in launchctl
// records each call as one line in "<script>.log".
TEST(LaunchAgentManagerTest, EnableWritesTheAgentForThisExecutableOnly) {
    test::TempDir temp;
    const QString home = temp.path(u"home"_s);
    const QString agentFile =
        home + u"/Library/LaunchAgents/example.velmora.wallpaper.refresh.plist"_s;
    const ClientPaths paths(temp.path(u"Velmora data & <notes"_s));
    const QString launchctl = temp.path(u"launchctl"_s);
    ASSERT_TRUE(
        test::writeFile(launchctl, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$0.log\"\n", 0755));
    const auto manager = [&](const QString &executable) {
        return LaunchAgentManager(paths, 3600,
                                  LaunchAgentEnvironment{launchctl, home, executable, 501, 1s});
    };

    ASSERT_EQ(test::failureOf(manager(kExecutable).setEnabled(true)), QString());
    QString root = paths.root();
    root.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s);
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
    EXPECT_EQ(QString::fromUtf8(test::readAll(launchctl + u".log"_s)),
              u"bootout gui/501 %1\nbootstrap gui/501 %1\n"_s.arg(agentFile));
    EXPECT_TRUE(manager(kExecutable).isEnabled());
    EXPECT_FALSE(manager(u"/Applications/Old/VelmoraWallpaper"_s).isEnabled());
}

} // namespace
} // namespace velmora
