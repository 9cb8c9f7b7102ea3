#include "core/ClientPaths.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

TEST(ClientPathsRoot, TheEnvironmentWinsOverTheDefaultUnlessEmpty) {
    test::TempDir temp;
    const QString standard = qEnvironmentVariable("XDG_DATA_HOME") + "/VelmoraWallpaper";
    EXPECT_EQ(ClientPaths().root(), standard);
    {
        const test::ScopedEnvironment variable("VELMORA_MAC_APPDATA", temp.path("env").toUtf8());
        EXPECT_EQ(ClientPaths().root(), temp.path("env"));
        EXPECT_FALSE(ClientPaths().isDefaultRoot());
    }
    // An empty variable names no directory; it would otherwise scatter files in the working one.
    const test::ScopedEnvironment empty("VELMORA_MAC_APPDATA", QByteArray());
    EXPECT_EQ(ClientPaths().root(), standard);

    // A relative root is resolved against the working directory once, when given.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    const ClientPaths relative(u"./sub/../data/"_s);
    QDir::setCurrent(previous);
    EXPECT_EQ(relative.root(), temp.path("data"));
}

TEST(ClientPathsEnsure, CreatesThePrivateTreeAndTightensWiderPermissions) {
    test::TempDir temp;
    const ClientPaths paths(temp.path("nested/root"));
    ASSERT_TRUE(QDir().mkpath(paths.logs()));
    ::chmod(QFile::encodeName(paths.logs()).constData(), 0777);
    ASSERT_TRUE(paths.ensure().ok());
    for (const QString &directory :
         {paths.root(), paths.wallpapers(), paths.updates(), paths.logs()})
        EXPECT_EQ(test::permissions(directory), 0700) << directory.toStdString();
}

// Wherever the link is, it is refused and neither it nor what it leads to is changed.
TEST(ClientPathsEnsure, RefusesASymbolicLinkAtEachDirectory) {
    for (int linked = 0; linked < 4; ++linked) {
        test::TempDir scratch;
        const ClientPaths paths(scratch.path("root"));
        const QString at =
            QStringList{paths.root(), paths.wallpapers(), paths.updates(), paths.logs()}[linked];
        QDir().mkpath(scratch.path("target"));
        if (linked > 0)
            QDir().mkpath(paths.root());
        ASSERT_TRUE(QFile::link(scratch.path("target"), at));

        EXPECT_EQ(test::failureOf(paths.ensure()),
                  u"无法创建客户端数据目录：客户端数据目录不能是符号链接："_s + at);
        EXPECT_TRUE(QDir(scratch.path("target")).isEmpty());
        EXPECT_NE(test::permissions(scratch.path("target")), 0700);
    }
}

} // namespace
