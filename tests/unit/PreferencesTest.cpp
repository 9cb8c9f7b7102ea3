#include "core/Preferences.h"
#include "core/StartupPromptMarker.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUuid>

using namespace velmora;
using velmora::test::TempDir;

namespace {

// Every test works on a throw-away domain of its own.
class PreferencesTest : public ::testing::Test {
protected:
    void TearDown() override { defaults.removePersistentDomain(); }
    UserDefaults defaults = UserDefaults::suite(QStringLiteral("example.velmora.test-") +
                                                QUuid::createUuid().toString(QUuid::WithoutBraces));
};

TEST_F(PreferencesTest, EmptyDomainReadsAsTheDefaults) {
    EXPECT_EQ(NetworkProxyMode::load(defaults), NetworkProxyMode::System);
    EXPECT_EQ(DisplayMode::load(defaults), DisplayMode::Fit);
    EXPECT_TRUE(AutomaticUpdatePreference::isEnabled(defaults));
    EXPECT_EQ(AutomaticUpdatePreference::lastOpenedVersion(defaults), std::nullopt);
}

// The same stored value is put under both keys; only the exact raw values are recognised, and
// a foreign value is not repaired by reading it.
TEST_F(PreferencesTest, ModesReadExactRawValuesAndFallBackOtherwise) {
    struct Case {
        QVariant stored;
        NetworkProxyMode::Value proxy;
        DisplayMode::Value display;
    };
    const Case cases[] = {{QStringLiteral("direct"), NetworkProxyMode::Direct, DisplayMode::Fit},
                          {QStringLiteral("fill"), NetworkProxyMode::System, DisplayMode::Fill},
                          {QStringLiteral("Direct"), NetworkProxyMode::System, DisplayMode::Fit},
                          {QStringLiteral("FILL"), NetworkProxyMode::System, DisplayMode::Fit},
                          {QStringLiteral(" direct"), NetworkProxyMode::System, DisplayMode::Fit}};
    for (const Case &c : cases) {
        defaults.setValue(QStringLiteral("networkProxyMode"), c.stored);
        defaults.setValue(QStringLiteral("displayMode"), c.stored);
        EXPECT_EQ(NetworkProxyMode::load(defaults), c.proxy) << c.stored.toString().toStdString();
        EXPECT_EQ(DisplayMode::load(defaults), c.display) << c.stored.toString().toStdString();
        EXPECT_EQ(defaults.string(QStringLiteral("networkProxyMode")), c.stored.toString());
    }
}

TEST_F(PreferencesTest, SavingStoresTheRawValueString) {
    NetworkProxyMode(NetworkProxyMode::Direct).save(defaults);
    DisplayMode(DisplayMode::Fill).save(defaults);
    EXPECT_EQ(defaults.string(QStringLiteral("networkProxyMode")), QStringLiteral("direct"));
    EXPECT_EQ(defaults.string(QStringLiteral("displayMode")), QStringLiteral("fill"));
    NetworkProxyMode(NetworkProxyMode::System).save(defaults);
    EXPECT_EQ(defaults.string(QStringLiteral("networkProxyMode")), QStringLiteral("system"));
}

TEST_F(PreferencesTest, DisplayModeSaveWithoutDomainWritesTheStandardOne) {
    DisplayMode(DisplayMode::Fill).save();
    EXPECT_EQ(DisplayMode::current(), DisplayMode::Fill);
    EXPECT_EQ(UserDefaults::standard().string(QStringLiteral("displayMode")),
              QStringLiteral("fill"));
    EXPECT_EQ(DisplayMode::load(defaults), DisplayMode::Fit);
    UserDefaults::standard().remove(QStringLiteral("displayMode"));
}

TEST(PreferenceTexts, TitlesAndConfirmationsAreExact) {
    EXPECT_EQ(NetworkProxyMode(NetworkProxyMode::System).title(), QStringLiteral("跟随系统代理"));
    EXPECT_EQ(NetworkProxyMode(NetworkProxyMode::Direct).title(),
              QStringLiteral("直连（忽略系统代理）"));
    EXPECT_EQ(NetworkProxyMode(NetworkProxyMode::System).confirmationMessage(),
              QStringLiteral("后续登记、刷新、下载、更新和推广请求将跟随 macOS 系统代理设置。"));
    EXPECT_EQ(NetworkProxyMode(NetworkProxyMode::Direct).confirmationMessage(),
              QStringLiteral("后续登记、刷新、下载、更新和推广请求将忽略 macOS 系统代理，直接连接 "
                             "wallpaper.velmora.example。"));
    EXPECT_EQ(DisplayMode(DisplayMode::Fit).title(), QStringLiteral("完整显示（推荐）"));
    EXPECT_EQ(DisplayMode(DisplayMode::Fill).title(), QStringLiteral("填满屏幕（可能裁切）"));
}

// Absent means on; anything stored is read the way the defaults system reads a boolean.
TEST_F(PreferencesTest, AutomaticUpdateFlagAndLastVersionAreIndependent) {
    AutomaticUpdatePreference::setEnabled(false, defaults);
    EXPECT_FALSE(AutomaticUpdatePreference::isEnabled(defaults));
    AutomaticUpdatePreference::setLastOpenedVersion(QStringLiteral("1.0.1"), defaults);
    EXPECT_EQ(AutomaticUpdatePreference::lastOpenedVersion(defaults), QStringLiteral("1.0.1"));
    EXPECT_FALSE(AutomaticUpdatePreference::isEnabled(defaults));

    defaults.setValue(QStringLiteral("autoUpdateEnabled"), QStringLiteral("perhaps"));
    EXPECT_FALSE(AutomaticUpdatePreference::isEnabled(defaults)) << "present but meaningless";
    defaults.setValue(QStringLiteral("autoUpdateEnabled"), QStringLiteral("YES"));
    EXPECT_TRUE(AutomaticUpdatePreference::isEnabled(defaults));
    defaults.remove(QStringLiteral("autoUpdateEnabled"));
    EXPECT_TRUE(AutomaticUpdatePreference::isEnabled(defaults));
    EXPECT_EQ(AutomaticUpdatePreference::lastOpenedVersion(defaults), QStringLiteral("1.0.1"));
}

class StartupPromptMarkerTest : public ::testing::Test {
protected:
    ClientLog recorder() {
        return [this](const QString &line) {
            lines << line;
        };
    }
    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    QString marker = temp.path(QStringLiteral("data/startup-prompt-v1"));
    QStringList lines;
};

TEST_F(StartupPromptMarkerTest, WritesShownWithOwnerOnlyPermissionsOverAnyOldMarker) {
    EXPECT_EQ(startupPromptMarkerPath(paths), marker);
    EXPECT_FALSE(isStartupPromptShown(paths));
    tryMarkStartupPromptShown(paths, recorder());
    EXPECT_TRUE(isStartupPromptShown(paths));
    EXPECT_EQ(test::readAll(marker), QByteArrayLiteral("shown\n"));
    EXPECT_EQ(test::permissions(marker), 0600);

    ASSERT_TRUE(test::writeFile(marker, "old", 0644));
    tryMarkStartupPromptShown(paths, recorder());
    EXPECT_EQ(test::readAll(marker), QByteArrayLiteral("shown\n"));
    EXPECT_EQ(test::permissions(marker), 0600);
    EXPECT_TRUE(lines.isEmpty());
}

TEST_F(StartupPromptMarkerTest, SymbolicLinkIsLoggedAndItsTargetUntouched) {
    ASSERT_TRUE(paths.ensure().ok());
    const QString target = temp.path(QStringLiteral("elsewhere"));
    ASSERT_TRUE(test::writeFile(target, "precious", 0644));
    ASSERT_TRUE(QFile::link(target, marker));

    tryMarkStartupPromptShown(paths, recorder());

    EXPECT_EQ(lines,
              QStringList{QStringLiteral("写入启动提醒标记失败：启动提醒标记不能是符号链接。")});
    EXPECT_TRUE(test::isSymbolicLink(marker));
    EXPECT_EQ(test::readAll(target), QByteArrayLiteral("precious"));
    EXPECT_EQ(test::permissions(target), 0644);
}

TEST_F(StartupPromptMarkerTest, UnusableDataDirectoryIsLoggedNotRaised) {
    ASSERT_TRUE(QDir().mkpath(temp.path(QStringLiteral("real"))));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("real")), paths.root()));

    tryMarkStartupPromptShown(paths, recorder());
    tryMarkStartupPromptShown(paths, ClientLog()); // no sink: still quiet

    EXPECT_EQ(
        lines,
        QStringList{
            QStringLiteral(
                "写入启动提醒标记失败：无法创建客户端数据目录：客户端数据目录不能是符号链接：") +
            paths.root()});
    EXPECT_FALSE(QFile::exists(temp.path(QStringLiteral("real/startup-prompt-v1"))));
}

} // namespace
