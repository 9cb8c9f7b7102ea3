#include "core/Preferences.h"
#include "core/StartupPromptMarker.h"
#include "core/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QUuid>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// Every test works on a throw-away domain of its own.
class PreferencesTest : public ::testing::Test {
protected:
    void TearDown() override { defaults.removePersistentDomain(); }
    UserDefaults defaults = UserDefaults::suite(u"example.velmora.test-"_s +
                                                QUuid::createUuid().toString(QUuid::WithoutBraces));
};

TEST(UserDefaults, BooleansReadTheWayTheDefaultsSystemDoes) {
    const std::pair<QVariant, bool> cases[] = {
        {-3, true},        {u"Yes"_s, true},    {u"FALSE"_s, false},
        {u" 12 "_s, true}, {u"maybe"_s, false}, {QStringList{u"YES"_s}, false},
    };
    for (const auto &[stored, expected] : cases)
        EXPECT_EQ(defaultsBooleanValue(stored), expected) << stored.toString().toStdString();
}

// The same stored value is put under both keys; only the exact raw values are recognised, and
// a foreign value is not repaired by reading it.
TEST_F(PreferencesTest, ModesReadExactRawValuesAndFallBackOtherwise) {
    EXPECT_EQ(NetworkProxyMode::load(defaults), NetworkProxyMode::System);
    EXPECT_EQ(DisplayMode::load(defaults), DisplayMode::Fit);
    const std::tuple<const char *, NetworkProxyMode::Value, DisplayMode::Value> cases[] = {
        {"direct", NetworkProxyMode::Direct, DisplayMode::Fit},
        {"fill", NetworkProxyMode::System, DisplayMode::Fill},
        {"Direct", NetworkProxyMode::System, DisplayMode::Fit},
    };
    for (const auto &[stored, proxy, display] : cases) {
        defaults.setValue(u"networkProxyMode"_s, QString::fromUtf8(stored));
        defaults.setValue(u"displayMode"_s, QString::fromUtf8(stored));
        EXPECT_EQ(NetworkProxyMode::load(defaults), proxy) << stored;
        EXPECT_EQ(DisplayMode::load(defaults), display) << stored;
        EXPECT_EQ(defaults.string(u"displayMode"_s), QString::fromUtf8(stored));
    }
}

// The menu bar's first-launch test shows the marker written and then read.
TEST(StartupPromptMarker, IsNeverWrittenThroughALink) {
    test::TempDir temp;
    const ClientPaths paths(temp.path(u"data"_s));
    ASSERT_TRUE(paths.ensure().ok());
    test::writeFile(temp.path(u"elsewhere"_s), "precious");
    QFile::link(temp.path(u"elsewhere"_s), paths.startupPromptMarker());
    QStringList lines;
    tryMarkStartupPromptShown(paths, [&lines](const QString &line) { lines << line; });
    EXPECT_EQ(lines, QStringList{u"写入启动提醒标记失败：启动提醒标记不能是符号链接。"_s});
    EXPECT_EQ(test::readAll(temp.path(u"elsewhere"_s)), QByteArrayLiteral("precious"));
}

} // namespace
