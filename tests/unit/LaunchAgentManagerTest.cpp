#include "agent/LaunchAgentManager.h"
#include "core/ClientPaths.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <memory>

namespace velmora {
namespace {

const QString kExecutable =
    QStringLiteral("/Applications/Velmora Wallpaper.app/Contents/MacOS/VelmoraWallpaper");

// A stand-in for launchctl that records each call as one line in "<script>.log" and lets
// "bootstrap" exit with `status` after printing `output`.
QString writeFakeLaunchctl(const QString &path, int status = 0, const QByteArray &output = {}) {
    const QByteArray script = "#!/bin/sh\n"
                              "printf '%s\\n' \"$*\" >> \"$0.log\"\n"
                              "if [ \"$1\" = bootstrap ]; then printf '%s' '" +
                              output + "'; exit " + QByteArray::number(status) + "; fi\n";
    EXPECT_TRUE(test::writeFile(path, script, 0755));
    return path;
}

struct PlistFree {
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using Plist = std::unique_ptr<void, PlistFree>;

Plist parse(const QByteArray &bytes) {
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    return Plist(root);
}

QByteArray serialise(const Plist &root, bool binary) {
    char *data = nullptr;
    uint32_t length = 0;
    (binary ? plist_to_bin : plist_to_xml)(root.get(), &data, &length);
    QByteArray bytes(data, qsizetype(length));
    (binary ? plist_to_bin_free : plist_to_xml_free)(data);
    return bytes;
}
QByteArray toXml(const Plist &root) {
    return serialise(root, false);
}
QByteArray toBinary(const Plist &root) {
    return serialise(root, true);
}

class LaunchAgentManagerTest : public ::testing::Test {
protected:
    QString home() const { return temp.path(QStringLiteral("home")); }
    QString agentFolder() const { return home() + QStringLiteral("/Library/LaunchAgents"); }
    QString agentFile() const {
        return agentFolder() + QStringLiteral("/example.velmora.wallpaper.refresh.plist");
    }
    QString launchctlLog() const { return launchctl + QStringLiteral(".log"); }

    LaunchAgentManager manager(std::optional<QString> executable = kExecutable,
                               int interval = 3600) const {
        return LaunchAgentManager(
            paths, interval, LaunchAgentEnvironment{launchctl, home(), std::move(executable), 501});
    }

    test::TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("Velmora data & <notes"))};
    QString launchctl = writeFakeLaunchctl(temp.path(QStringLiteral("launchctl")));
};

TEST_F(LaunchAgentManagerTest, EnableWritesTheAgentAndLoadsItIntoTheUsersDomain) {
    ASSERT_TRUE(QDir().mkpath(home()));
    LaunchAgentManager enabled = manager();
    const Status status = enabled.setEnabled(true);
    ASSERT_TRUE(status.ok()) << status.error().description().toStdString();

    QString root = paths.root();
    root.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;"));
    const QString expected =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                       "<plist version=\"1.0\">\n<dict>\n"
                       "\t<key>Label</key>\n\t<string>example.velmora.wallpaper.refresh</string>\n"
                       "\t<key>ProgramArguments</key>\n\t<array>\n"
                       "\t\t<string>/Applications/Velmora "
                       "Wallpaper.app/Contents/MacOS/VelmoraWallpaper</string>\n"
                       "\t\t<string>--refresh</string>\n\t</array>\n"
                       "\t<key>RunAtLoad</key>\n\t<true/>\n"
                       "\t<key>StartInterval</key>\n\t<integer>3600</integer>\n"
                       "\t<key>ProcessType</key>\n\t<string>Background</string>\n"
                       "\t<key>WorkingDirectory</key>\n\t<string>%1</string>\n"
                       "\t<key>StandardOutPath</key>\n\t<string>%1/logs/launch-agent.log</string>\n"
                       "\t<key>StandardErrorPath</key>\n"
                       "\t<string>%1/logs/launch-agent.error.log</string>\n"
                       "</dict>\n</plist>\n")
            .arg(root);
    EXPECT_EQ(QString::fromUtf8(test::readAll(agentFile())), expected);
    EXPECT_EQ(test::permissions(agentFile()), 0600);
    EXPECT_TRUE(QFileInfo(paths.logs()).isDir()) << "the data directory is made first";

    // Read back as launchd would: eight keys, and the escaped path comes back as it was.
    const Plist parsed = parse(test::readAll(agentFile()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(plist_dict_get_size(parsed.get()), 8u);
    const char *workingDirectory =
        plist_get_string_ptr(plist_dict_get_item(parsed.get(), "WorkingDirectory"), nullptr);
    EXPECT_EQ(QString::fromUtf8(workingDirectory), paths.root());

    EXPECT_EQ(QString::fromUtf8(test::readAll(launchctlLog())),
              QStringLiteral("bootout gui/501 %1\nbootstrap gui/501 %1\n").arg(agentFile()));
    EXPECT_TRUE(enabled.isEnabled());
}

TEST_F(LaunchAgentManagerTest, EnablingTwiceLeavesOneAgentFileWithTheIntervalFloor) {
    LaunchAgentManager agent = manager(kExecutable, 60);
    ASSERT_TRUE(agent.setEnabled(true).ok());
    ASSERT_TRUE(agent.setEnabled(true).ok());
    EXPECT_EQ(QDir(agentFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("example.velmora.wallpaper.refresh.plist")});
    EXPECT_TRUE(test::readAll(agentFile()).contains("<integer>300</integer>"));
}

TEST_F(LaunchAgentManagerTest, DisableUnloadsAndRemovesTheAgentAndToleratesItsAbsence) {
    LaunchAgentManager agent = manager();
    const Status nothingThere = agent.setEnabled(false);
    EXPECT_TRUE(nothingThere.ok()) << nothingThere.error().description().toStdString();
    EXPECT_FALSE(QFileInfo::exists(paths.root())) << "disabling does not touch the data directory";

    ASSERT_TRUE(agent.setEnabled(true).ok());
    ASSERT_TRUE(agent.setEnabled(false).ok());
    EXPECT_FALSE(QFileInfo::exists(agentFile()));
    EXPECT_FALSE(agent.isEnabled());
    EXPECT_TRUE(QString::fromUtf8(test::readAll(launchctlLog()))
                    .endsWith(QStringLiteral("bootout gui/501 %1\n").arg(agentFile())));
}

TEST_F(LaunchAgentManagerTest, ALoadFailureIsReportedWithTheToolsTrimmedOutputAndKeepsTheFile) {
    const QString prefix = QStringLiteral("LaunchAgent 启动失败：");
    const std::tuple<int, QByteArray, QString> cases[] = {
        {1, "", prefix},
        {5, " \nBootstrap failed: 5: 输入/输出错误\n\n",
         prefix + QStringLiteral("Bootstrap failed: 5: 输入/输出错误")},
        {1, "\xff\xfe not text", prefix},
    };
    for (const auto &[exitStatus, output, message] : cases) {
        writeFakeLaunchctl(launchctl, exitStatus, output);
        const Status status = manager().setEnabled(true);
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().description(), message);
        EXPECT_TRUE(status.error().is(ClientError::Kind::FileSystem));
        EXPECT_TRUE(manager().isEnabled()) << "the written file stays";
    }

    launchctl = temp.path(QStringLiteral("no-launchctl"));
    const Status status = manager().setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.error().description().startsWith(prefix));
    EXPECT_GT(status.error().description().size(), prefix.size());
}

TEST_F(LaunchAgentManagerTest, IsEnabledOnlyForAWellFormedAgentOfThisExecutable) {
    ASSERT_TRUE(QDir().mkpath(agentFolder()));
    const auto agentWith = [](plist_t first) {
        Plist root(plist_new_dict());
        plist_t arguments = plist_new_array();
        plist_array_append_item(arguments, first);
        plist_dict_set_item(root.get(), "ProgramArguments", arguments);
        return root;
    };
    const auto string = [](const QString &text) {
        return plist_new_string(text.toUtf8().constData());
    };
    const Plist ours = agentWith(string(kExecutable));
    const Plist arrayRoot(plist_new_array());
    plist_array_append_item(arrayRoot.get(), string(kExecutable));

    const std::tuple<const char *, QByteArray, QString, bool> cases[] = {
        {"XML naming this executable", toXml(ours), kExecutable, true},
        {"binary naming this executable", toBinary(ours), kExecutable, true},
        {"another copy of the program",
         toXml(agentWith(string(QStringLiteral("/Applications/Old/VelmoraWallpaper")))),
         kExecutable, false},
        {"empty first argument", toXml(agentWith(string(QString()))), kExecutable, false},
        {"first argument not a string", toBinary(agentWith(plist_new_uint(7))), kExecutable, false},
        {"no ProgramArguments", toXml(Plist(plist_new_dict())), kExecutable, false},
        {"root not a dictionary", toXml(arrayRoot), kExecutable, false},
        {"not a property list", "ProgramArguments = /usr/bin/true\n", kExecutable, false},
        {"truncated binary", toBinary(ours).left(20), kExecutable, false},
        {"empty file", "", kExecutable, false},
        {"running executable unknown", toXml(ours), QString(), false},
    };
    for (const auto &[name, bytes, executable, enabled] : cases) {
        ASSERT_TRUE(test::writeFile(agentFile(), bytes));
        EXPECT_EQ(manager(executable).isEnabled(), enabled) << name;
    }

    QFile::remove(agentFile());
    EXPECT_FALSE(manager().isEnabled()) << "no file";
    // A link is never followed, even to a file that would qualify.
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("elsewhere.plist")), toXml(ours)));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("elsewhere.plist")), agentFile()));
    EXPECT_FALSE(manager().isEnabled()) << "symbolic link";
}

TEST_F(LaunchAgentManagerTest, FailuresCarryTheirSentenceAndStopBeforeLaunchctl) {
    Status status = manager(QString()).setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().description(), QStringLiteral("无法确定客户端可执行文件路径。"));

    // The LaunchAgents folder cannot be made: a file is in the way.
    ASSERT_TRUE(QDir().mkpath(home()));
    ASSERT_TRUE(test::writeFile(home() + QStringLiteral("/Library"), "not a folder"));
    status = manager().setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.error().description().startsWith(QStringLiteral("无法写入 LaunchAgent：")))
        << status.error().description().toStdString();
    EXPECT_FALSE(QFileInfo::exists(launchctlLog()));

    // The data directory's own error comes through unchanged.
    ASSERT_TRUE(QFile::link(temp.path(), temp.path(QStringLiteral("linked-data"))));
    paths = ClientPaths(temp.path(QStringLiteral("linked-data")));
    status = manager().setEnabled(true);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error(), paths.ensure().error());
    EXPECT_FALSE(QFileInfo::exists(launchctlLog()));
}

TEST_F(LaunchAgentManagerTest, AnAgentFileThatCannotBeRemovedIsReported) {
    ASSERT_TRUE(QDir().mkpath(agentFile() + QStringLiteral("/occupied")));
    const Status status = manager().setEnabled(false);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.error().description().startsWith(QStringLiteral("无法删除 LaunchAgent：")))
        << status.error().description().toStdString();
}

} // namespace
} // namespace velmora
