// --self-test as a user or an installer runs it: the real executable, in the build tree's bundle
// layout or a copy of it, with no display and private home, configuration and temporary folders.
#include "core/ClientConstants.h"
#include "support/TempDir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A private user: HOME, XDG folders and TMPDIR all below one scratch directory.
class PrivateUser {
public:
    PrivateUser() {
        for (const char *name : {"home", "config", "data", "tmp"})
            QDir().mkpath(m_root.path(QString::fromLatin1(name)));
    }

    QString path(const QString &name) const { return m_root.path(name); }

    // The exit status, stdout and stderr in one line, to compare at once.
    QByteArray run(const QString &executable, const QString &configHome = {}) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                 "DBUS_SESSION_BUS_ADDRESS", "VELMORA_MAC_APPDATA"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           configHome.isEmpty() ? path(QStringLiteral("config")) : configHome);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        environment.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(executable, {QStringLiteral("--self-test")});
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return "did not exit";
        return QByteArray::number(process.exitCode()) + " [" + process.readAllStandardOutput() +
               "] [" + process.readAllStandardError() + ']';
    }

    // Every file the run left in the user's folders: the scratch directory, a defaults suite,
    // anything in the real data directory.
    QStringList leftovers() const {
        QStringList found;
        for (const char *name : {"home", "config", "data", "tmp"}) {
            QDirIterator it(path(QString::fromLatin1(name)),
                            QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                found << it.next();
        }
        return found;
    }

private:
    test::TempDir m_root;
};

TEST(SelfTest, PassesFromTheBuildTreeAndLeavesNothingBehind) {
    const PrivateUser user;
    EXPECT_EQ(user.run(QStringLiteral(VELMORA_EXECUTABLE)), QByteArray("0 [self-test=ok\n] []"));
    EXPECT_EQ(user.leftovers(), QStringList());
}

// A copy of the executable in bin/ with, beside it, the bundle a row describes.
struct BundleCase {
    const char *what;
    bool icon;                      // AppIcon.png is the real icon (else: no AppIcon.png at all)
    QByteArray brokenIcon;          // when not empty, AppIcon.png holds these bytes instead
    std::optional<QString> version; // Info.plist's CFBundleShortVersionString; none: no plist
    QByteArray expected;
};

class SelfTestBundle : public ::testing::TestWithParam<BundleCase> {};

TEST_P(SelfTestBundle, ChecksTheBundleBesideTheExecutable) {
    const BundleCase &row = GetParam();
    const PrivateUser user;
    const QString prefix = user.path(QStringLiteral("prefix"));
    const QString bundle = prefix + QStringLiteral("/share/velmora-wallpaper");
    const QString executable = prefix + QStringLiteral("/bin/VelmoraWallpaper");
    ASSERT_TRUE(QDir().mkpath(prefix + QStringLiteral("/bin")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_EXECUTABLE), executable));
    if (row.icon || !row.brokenIcon.isEmpty() || row.version) {
        ASSERT_TRUE(QDir().mkpath(bundle));
    }
    if (!row.brokenIcon.isEmpty()) {
        ASSERT_TRUE(test::writeFile(bundle + QStringLiteral("/AppIcon.png"), row.brokenIcon, 0644));
    } else if (row.icon) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_BUNDLE_DIR "/AppIcon.png"),
                                bundle + QStringLiteral("/AppIcon.png")));
    }
    if (row.version) {
        const QString plist =
            QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
                           "<dict><key>CFBundleShortVersionString</key><string>%1</string>"
                           "</dict></plist>\n")
                .arg(*row.version);
        ASSERT_TRUE(test::writeFile(bundle + QStringLiteral("/Info.plist"), plist.toUtf8(), 0644));
    }

    EXPECT_EQ(user.run(executable), row.expected) << row.what;
    // The scratch directory goes on failure as well.
    EXPECT_EQ(
        QDir(user.path(QStringLiteral("tmp"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        QStringList())
        << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SelfTestBundle,
    ::testing::Values(
        BundleCase{
            "complete copy", true, {}, ClientConstants::currentVersion, "0 [self-test=ok\n] []"},
        BundleCase{
            "bare executable", false, {}, std::nullopt, "1 [] [错误：菜单栏品牌图标资源缺失\n]"},
        BundleCase{"icon that is no image", false, "not a png", ClientConstants::currentVersion,
                   "1 [] [错误：菜单栏品牌图标资源缺失\n]"},
        BundleCase{"other version",
                   true,
                   {},
                   QStringLiteral("0.0.1"),
                   "1 [] [错误：客户端代码版本与 App 元数据不一致\n]"},
        BundleCase{"no Info.plist",
                   true,
                   {},
                   std::nullopt,
                   "1 [] [错误：客户端代码版本与 App 元数据不一致\n]"}));

// Values that cannot be stored would be read back from memory and prove nothing.
TEST(SelfTest, RefusesADefaultsStoreThatCannotBeWritten) {
    const PrivateUser user;
    const QString notAFolder = user.path(QStringLiteral("config-file"));
    ASSERT_TRUE(test::writeFile(notAFolder, "x"));
    EXPECT_EQ(user.run(QStringLiteral(VELMORA_EXECUTABLE), notAFolder),
              QByteArray("1 [] [错误：无法创建网络设置自检环境\n]"));
    // By then the scratch directory holds a saved copy and a credential store: gone all the same.
    EXPECT_EQ(user.leftovers(), QStringList());
}

} // namespace
