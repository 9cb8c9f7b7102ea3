#include "core/ClientPaths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace velmora;
using velmora::test::TempDir;

namespace {

class ClientPathsRoot : public ::testing::Test {
protected:
    void TearDown() override { qunsetenv("VELMORA_MAC_APPDATA"); }
    TempDir temp;
};

TEST_F(ClientPathsRoot, DefaultIsTheUserDataFolderPlusAppName) {
    const QString expected = QDir::cleanPath(qEnvironmentVariable("XDG_DATA_HOME") +
                                             QStringLiteral("/VelmoraWallpaper"));
    EXPECT_EQ(ClientPaths::defaultRoot(), expected);
    EXPECT_EQ(ClientPaths().root(), expected);
    EXPECT_TRUE(ClientPaths().isDefaultRoot());
}

TEST_F(ClientPathsRoot, CommandLineWinsOverEnvironmentWhichWinsOverDefault) {
    qputenv("VELMORA_MAC_APPDATA", temp.path(QStringLiteral("env")).toUtf8());
    EXPECT_EQ(ClientPaths().root(), temp.path(QStringLiteral("env")));
    EXPECT_FALSE(ClientPaths().isDefaultRoot());
    EXPECT_EQ(ClientPaths(temp.path(QStringLiteral("arg"))).root(),
              temp.path(QStringLiteral("arg")));

    // An empty variable names no directory; it would otherwise scatter files in the working one.
    qputenv("VELMORA_MAC_APPDATA", QByteArray());
    EXPECT_EQ(ClientPaths().root(), ClientPaths::defaultRoot());
}

TEST_F(ClientPathsRoot, RelativeRootsAreResolvedAndStandardised) {
    QDir().mkpath(temp.path(QStringLiteral("work/sub")));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path(QStringLiteral("work"))));
    const ClientPaths direct(QStringLiteral("data"));
    const ClientPaths roundabout(QStringLiteral("./sub/../data/"));
    QDir::setCurrent(previous);

    EXPECT_EQ(direct.root(), temp.path(QStringLiteral("work/data")));
    EXPECT_EQ(roundabout, direct);
    EXPECT_EQ(direct.wallpapers(), temp.path(QStringLiteral("work/data/wallpapers")));
    EXPECT_EQ(direct.activationFallback(), temp.path(QStringLiteral("work/data/activation.json")));
    EXPECT_EQ(direct.credentialStorageMarker(),
              temp.path(QStringLiteral("work/data/credential-storage-v2")));
    EXPECT_EQ(direct.deviceIDFile(), temp.path(QStringLiteral("work/data/device-id")));
}

class ClientPathsEnsure : public ::testing::Test {
protected:
    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("nested/root"))};
    const QStringList directories{paths.root(), paths.wallpapers(), paths.updates(), paths.logs()};
};

TEST_F(ClientPathsEnsure, CreatesThePrivateTreeAndTightensWiderPermissions) {
    ASSERT_TRUE(QDir().mkpath(paths.logs()));
    ::chmod(QFile::encodeName(paths.root()).constData(), 0755);
    ::chmod(QFile::encodeName(paths.logs()).constData(), 0777);
    ASSERT_TRUE(paths.ensure().ok());
    ASSERT_TRUE(paths.ensure().ok());
    for (const QString &directory : directories)
        EXPECT_EQ(test::permissions(directory), 0700) << directory.toStdString();
}

TEST_F(ClientPathsEnsure, RefusesASymbolicLinkAtEachDirectory) {
    for (int linked = 0; linked < directories.size(); ++linked) {
        TempDir scratch;
        const ClientPaths local(scratch.path(QStringLiteral("root")));
        const QStringList locals{local.root(), local.wallpapers(), local.updates(), local.logs()};
        QDir().mkpath(scratch.path(QStringLiteral("target")));
        if (linked > 0)
            QDir().mkpath(local.root());
        ASSERT_TRUE(QFile::link(scratch.path(QStringLiteral("target")), locals[linked]));

        const Status status = local.ensure();
        ASSERT_FALSE(status.ok());
        EXPECT_TRUE(status.error().is(ClientError::Kind::FileSystem));
        EXPECT_EQ(status.error().description(),
                  QStringLiteral("无法创建客户端数据目录：客户端数据目录不能是符号链接：") +
                      locals[linked]);
        // Directories before the link are in place; the link and its target are untouched.
        for (int before = 0; before < linked; ++before)
            EXPECT_EQ(test::permissions(locals[before]), 0700);
        EXPECT_TRUE(test::isSymbolicLink(locals[linked]));
        EXPECT_TRUE(QDir(scratch.path(QStringLiteral("target"))).isEmpty());
        EXPECT_NE(test::permissions(scratch.path(QStringLiteral("target"))), 0700);
    }
}

TEST_F(ClientPathsEnsure, ReportsAFileInTheWayInItsOwnWords) {
    ASSERT_TRUE(QDir().mkpath(paths.root()));
    ASSERT_TRUE(test::writeFile(paths.updates(), "x"));
    const Status status = paths.ensure();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().description(), QStringLiteral("无法创建客户端数据目录：“") +
                                                paths.updates() +
                                                QStringLiteral("”：路径中的某一项不是目录。"));
}

} // namespace
