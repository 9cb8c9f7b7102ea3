#include "core/Preferences.h"
#include "core/StartupPromptMarker.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QUuid>

using namespace velmora;

namespace {

// Every test works on a throw-away domain of its own.
class PreferencesTest : public ::testing::Test {
protected:
    void TearDown() override { defaults.removePersistentDomain(); }
    UserDefaults defaults = UserDefaults::suite(QStringLiteral("example.velmora.test-") +
                                                QUuid::createUuid().toString(QUuid::WithoutBraces));
};

// The same stored value is put under both keys; only the exact raw values are recognised, and
// a foreign value is not repaired by reading it.
TEST_F(PreferencesTest, ModesReadExactRawValuesAndFallBackOtherwise) {
    EXPECT_EQ(NetworkProxyMode::load(defaults), NetworkProxyMode::System);
    EXPECT_EQ(DisplayMode::load(defaults), DisplayMode::Fit);
    const std::tuple<const char *, NetworkProxyMode::Value, DisplayMode::Value> cases[] = {
        {"direct", NetworkProxyMode::Direct, DisplayMode::Fit},
        {"fill", NetworkProxyMode::System, DisplayMode::Fill},
        {"Direct", NetworkProxyMode::System, DisplayMode::Fit},
        {" fill", NetworkProxyMode::System, DisplayMode::Fit},
    };
    for (const auto &[stored, proxy, display] : cases) {
        defaults.setValue(QStringLiteral("networkProxyMode"), QString::fromUtf8(stored));
        defaults.setValue(QStringLiteral("displayMode"), QString::fromUtf8(stored));
        EXPECT_EQ(NetworkProxyMode::load(defaults), proxy) << stored;
        EXPECT_EQ(DisplayMode::load(defaults), display) << stored;
        EXPECT_EQ(defaults.string(QStringLiteral("displayMode")), QString::fromUtf8(stored));
    }

    NetworkProxyMode(NetworkProxyMode::Direct).save(defaults);
    DisplayMode(DisplayMode::Fill).save(defaults);
    EXPECT_EQ(defaults.string(QStringLiteral("networkProxyMode")), QStringLiteral("direct"));
    EXPECT_EQ(defaults.string(QStringLiteral("displayMode")), QStringLiteral("fill"));
}

// Absent means on; anything stored is read the way the defaults system reads a boolean.
TEST_F(PreferencesTest, AutomaticUpdateFlagAndLastVersionAreIndependent) {
    EXPECT_TRUE(AutomaticUpdatePreference::isEnabled(defaults));
    AutomaticUpdatePreference::setEnabled(false, defaults);
    AutomaticUpdatePreference::setLastOpenedVersion(QStringLiteral("1.0.1"), defaults);
    EXPECT_FALSE(AutomaticUpdatePreference::isEnabled(defaults));
    defaults.setValue(QStringLiteral("autoUpdateEnabled"), QStringLiteral("perhaps"));
    EXPECT_FALSE(AutomaticUpdatePreference::isEnabled(defaults)) << "present but meaningless";
    defaults.remove(QStringLiteral("autoUpdateEnabled"));
    EXPECT_TRUE(AutomaticUpdatePreference::isEnabled(defaults));
    EXPECT_EQ(AutomaticUpdatePreference::lastOpenedVersion(defaults), QStringLiteral("1.0.1"));
}

TEST(StartupPromptMarker, IsWrittenButNeverThroughALink) {
    test::TempDir temp;
    const ClientPaths paths(temp.path(QStringLiteral("data")));
    QStringList lines;
    const ClientLog log = [&lines](const QString &line) {
        lines << line;
    };
    EXPECT_FALSE(isStartupPromptShown(paths));
    tryMarkStartupPromptShown(paths, log);
    EXPECT_TRUE(isStartupPromptShown(paths));

    QFile::remove(paths.startupPromptMarker());
    test::writeFile(temp.path(QStringLiteral("elsewhere")), "precious");
    QFile::link(temp.path(QStringLiteral("elsewhere")), paths.startupPromptMarker());
    tryMarkStartupPromptShown(paths, log);
    EXPECT_EQ(lines,
              QStringList{QStringLiteral("写入启动提醒标记失败：启动提醒标记不能是符号链接。")});
    EXPECT_EQ(test::readAll(temp.path(QStringLiteral("elsewhere"))), QByteArrayLiteral("precious"));
}

} // namespace
