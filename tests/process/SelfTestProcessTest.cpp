// --self-test as a user or an installer runs it: the real executable, in the build tree's bundle
// layout or a copy of it, with no display and a private home and temporary folder.
#include "ExecutableRun.h"
#include "core/ClientConstants.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// The run's TMPDIR, in the private home, so whatever the run leaves shows there.
QString scratch() {
    const QString tmp = QDir::homePath() + QStringLiteral("/tmp");
    QDir().mkpath(tmp);
    return tmp;
}

QByteArray selfTest(const QString &executable, const QString &configHome = {}) {
    QList<std::pair<QString, QString>> variables{{QStringLiteral("TMPDIR"), scratch()}};
    if (!configHome.isEmpty())
        variables.append({QStringLiteral("XDG_CONFIG_HOME"), configHome});
    return test::runExecutable(executable, {QStringLiteral("--self-test")}, variables);
}

TEST(SelfTest, PassesFromTheBuildTreeAndLeavesNothingBehind) {
    scratch();
    const QStringList before = test::everythingBelow(QDir::homePath());
    EXPECT_EQ(selfTest(QStringLiteral(VELMORA_EXECUTABLE)), QByteArray("0 [self-test=ok\n] []"));
    EXPECT_EQ(test::everythingBelow(QDir::homePath()), before);
}

// A copy of the executable in bin/ with, beside it, the module and the bundle a row describes (a
// complete copy is what the install-tree test runs).
struct BundleCase {
    const char *what;
    const char *icon;    // nullptr: none; "": the real icon; else the bytes of AppIcon.png
    const char *version; // Info.plist's CFBundleShortVersionString; nullptr: no Info.plist
    QByteArray expected;
    bool module = true; // the private module beside it
};

class SelfTestBundle : public ::testing::TestWithParam<BundleCase> {};

TEST_P(SelfTestBundle, ChecksTheBundleBesideTheExecutable) {
    const BundleCase &row = GetParam();
    const test::TempDir prefix;
    const QString bundle = prefix.path(QStringLiteral("share/velmora-wallpaper"));
    const QString executable = prefix.path(QStringLiteral("bin/VelmoraWallpaper"));
    ASSERT_TRUE(QDir().mkpath(prefix.path(QStringLiteral("bin"))) && QDir().mkpath(bundle));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_EXECUTABLE), executable));
    const QString module = prefix.path(QStringLiteral(VELMORA_MODULE_SUBPATH));
    ASSERT_TRUE(!row.module || (QDir().mkpath(QFileInfo(module).path()) &&
                                QFile::copy(QStringLiteral(VELMORA_MODULE), module)));
    const QString icon = bundle + QStringLiteral("/AppIcon.png");
    if (row.icon && *row.icon) {
        ASSERT_TRUE(test::writeFile(icon, row.icon, 0644));
    } else if (row.icon) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_BUNDLE_DIR "/AppIcon.png"), icon));
    }
    const QByteArray plist =
        QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>CFBundleShortVersionString</key><string>") +
        row.version + "</string></dict></plist>\n";
    if (row.version) {
        ASSERT_TRUE(test::writeFile(bundle + QStringLiteral("/Info.plist"), plist, 0644));
    }

    EXPECT_EQ(selfTest(executable).replace(prefix.path().toUtf8(), "PREFIX"), row.expected)
        << row.what;
    // The commands the executable answers itself need no module.
    EXPECT_EQ(test::runExecutable(executable, {QStringLiteral("--version")}), "0 [1.3.0\n] []");
    // The scratch directory goes on failure as well.
    EXPECT_EQ(test::everythingBelow(scratch()), QStringList()) << row.what;
}

const QByteArray noIcon = "1 [] [错误：菜单栏品牌图标资源缺失\n]";
const QByteArray otherVersion = "1 [] [错误：客户端代码版本与 App 元数据不一致\n]";
const QByteArray noModule =
    "1 [] [错误：无法载入程序模块 PREFIX/" VELMORA_MODULE_SUBPATH "，请重新安装 Velmora壁纸。\n]";

INSTANTIATE_TEST_SUITE_P(Layouts, SelfTestBundle,
                         ::testing::Values(BundleCase{"bare executable", nullptr, nullptr, noIcon},
                                           BundleCase{"icon that is no image", "not a png", "1.3.0",
                                                      noIcon},
                                           BundleCase{"other version", "", "0.0.1", otherVersion},
                                           BundleCase{"no Info.plist", "", nullptr, otherVersion},
                                           BundleCase{"no module", "", "1.3.0", noModule, false}));

// Values that cannot be stored would be read back from memory and prove nothing.
TEST(SelfTest, RefusesADefaultsStoreThatCannotBeWritten) {
    const QString notAFolder = QDir::homePath() + QStringLiteral("/config-file");
    ASSERT_TRUE(test::writeFile(notAFolder, "x"));
    scratch();
    const QStringList before = test::everythingBelow(QDir::homePath());
    EXPECT_EQ(selfTest(QStringLiteral(VELMORA_EXECUTABLE), notAFolder),
              QByteArray("1 [] [错误：无法创建网络设置自检环境\n]"));
    // By then the scratch directory holds a saved copy and a credential store: gone all the same.
    EXPECT_EQ(test::everythingBelow(QDir::homePath()), before);
}

} // namespace
