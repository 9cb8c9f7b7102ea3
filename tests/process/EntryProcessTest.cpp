// Runs the built executable as a user or an installer would: no display, a private home and
// temporary folder, exact bytes on stdout and stderr; --self-test in the build tree's bundle
// layout or a copy of it.
#include "support/Outcome.h"
#include "support/Run.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace velmora;
using test::runExecutable;

namespace {

QByteArray run(const QStringList &arguments,
               const QList<std::pair<QString, QString>> &variables = {}) {
    return runExecutable(QStringLiteral(VELMORA_EXECUTABLE), arguments, variables);
}

TEST(Executable, RunsWithoutADisplayAndFailsWithOneErrorLine) {
    // --version is the bundle layouts' test (the self-test's).
    EXPECT_TRUE(run({u"-h"_s}).startsWith("0 [Velmora壁纸 Linux 菜单栏客户端\n\n用法：\n"));
    EXPECT_EQ(run({u"--refresh"_s, u"--nope"_s}),
              QByteArray("2 [] [错误：未知参数：--nope。使用 --help 查看用法。\n]"));
}

// A command works in the directory --app-data names, never in the one the variable names.
TEST(Executable, AppDataOnTheCommandLineWinsOverTheEnvironment) {
    test::TempDir temp;
    const QString arg = temp.path(u"arg"_s), env = temp.path(u"env"_s);
    EXPECT_TRUE(run({u"--status"_s, u"--app-data"_s, arg}, {{u"VELMORA_MAC_APPDATA"_s, env}})
                    .startsWith("0 ["));
    // Bytes that are not UTF-8 would name another directory: refused, and nothing made.
    for (const char *variable : {"VELMORA_MAC_APPDATA", "XDG_DATA_HOME", "HOME"}) {
        const test::ScopedEnvironment notUtf8(variable, QFile::encodeName(env) + "\xff\xfe");
        EXPECT_EQ(run({u"--status"_s}), QByteArray("2 [] [错误：环境变量 ") + variable +
                                            " 的目录路径不是有效的 UTF-8。\n]");
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{u"arg"_s});
}

// The run's TMPDIR, in the private home, so whatever the run leaves shows there.
QString scratch() {
    const QString tmp = QDir::homePath() + u"/tmp"_s;
    QDir().mkpath(tmp);
    return tmp;
}

QByteArray selfTest(const QString &executable, const QString &configHome = {}) {
    QList<std::pair<QString, QString>> variables{{u"TMPDIR"_s, scratch()}};
    if (!configHome.isEmpty())
        variables.append({u"XDG_CONFIG_HOME"_s, configHome});
    return runExecutable(executable, {u"--self-test"_s}, variables);
}

TEST(SelfTest, PassesFromTheBuildTreeFailsOnAnUnwritableStoreAndLeavesNothingBehind) {
    const QString notAFolder = QDir::homePath() + u"/config-file"_s;
    ASSERT_TRUE(test::writeFile(notAFolder, "x"));
    scratch();
    const QStringList before = test::everythingBelow(QDir::homePath());
    EXPECT_EQ(selfTest(QStringLiteral(VELMORA_EXECUTABLE)), QByteArray("0 [self-test=ok\n] []"));
    EXPECT_EQ(test::everythingBelow(QDir::homePath()), before);
    // Values that cannot be stored would be read back from memory and prove nothing.
    EXPECT_EQ(selfTest(QStringLiteral(VELMORA_EXECUTABLE), notAFolder),
              QByteArray("1 [] [错误：无法创建网络设置自检环境\n]"));
    // By then the scratch directory holds a saved copy and a credential store: gone all the same.
    EXPECT_EQ(test::everythingBelow(QDir::homePath()), before);
}

// A copy of the client laid out as an installation, with the bundle a row describes (a complete
// copy is what the install-tree test runs).
struct BundleCase {
    const char *what;
    const char *icon;    // nullptr: the real icon; "": none; else the bytes of AppIcon.png
    const char *version; // Info.plist's CFBundleShortVersionString; nullptr: the real one; "": none
    QByteArray expected;
    bool module = true; // the private module beside it
};

class SelfTestBundle : public ::testing::TestWithParam<BundleCase> {};

TEST_P(SelfTestBundle, ChecksTheBundleBesideTheExecutable) {
    const BundleCase &row = GetParam();
    const test::TempDir prefix;
    const QString executable = test::installClient(prefix.path(), row.module);
    ASSERT_FALSE(executable.isEmpty());
    const QString icon = prefix.path(u"share/velmora-wallpaper/AppIcon.png"_s);
    const QString plist = prefix.path(u"share/velmora-wallpaper/Info.plist"_s);
    ASSERT_TRUE(!row.icon ||
                (*row.icon ? test::writeFile(icon, row.icon, 0644) : QFile::remove(icon)));
    const QByteArray versioned =
        QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>CFBundleShortVersionString</key><string>") +
        row.version + "</string></dict></plist>\n";
    ASSERT_TRUE(!row.version ||
                (*row.version ? test::writeFile(plist, versioned, 0644) : QFile::remove(plist)));

    EXPECT_EQ(selfTest(executable).replace(prefix.path().toUtf8(), "PREFIX"), row.expected)
        << row.what;
    // The commands the executable answers itself need no module.
    EXPECT_EQ(runExecutable(executable, {u"--version"_s}), "0 [1.3.0\n] []");
    // The scratch directory goes on failure as well.
    EXPECT_EQ(test::everythingBelow(scratch()), QStringList()) << row.what;
}

const QByteArray noIcon = "1 [] [错误：菜单栏品牌图标资源缺失\n]";
const QByteArray otherVersion = "1 [] [错误：客户端代码版本与 App 元数据不一致\n]";
const QByteArray noModule =
    "1 [] [错误：无法载入程序模块 PREFIX/" VELMORA_MODULE_SUBPATH "，请重新安装 Velmora壁纸。\n]";

INSTANTIATE_TEST_SUITE_P(
    Layouts, SelfTestBundle,
    ::testing::Values(BundleCase{"bare executable", "", "", noIcon},
                      BundleCase{"icon that is no image", "not a png", nullptr, noIcon},
                      BundleCase{"other version", nullptr, "0.0.1", otherVersion},
                      BundleCase{"no Info.plist", nullptr, "", otherVersion},
                      BundleCase{"no module", nullptr, nullptr, noModule, false}));

} // namespace
