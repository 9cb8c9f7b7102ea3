#include "core/ClientPaths.h"
#include "core/PrivateFile.h"
#include "platform/Bundle.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

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

// Only a regular file inside the bundle directory is a resource: not a directory, not a link
// (even to the real icon), not a file reached through "..".
TEST(BundleResource, AnswersOnlyRegularFilesInsideTheBundle) {
    test::TempDir temp;
    const QString bundle = temp.path(u"share/velmora-wallpaper"_s);
    ASSERT_TRUE(QDir().mkpath(bundle + u"/Folder.png"_s));
    ASSERT_TRUE(test::writeFile(bundle + u"/AppIcon.png"_s, "png", 0644));
    ASSERT_TRUE(test::writeFile(temp.path(u"share/Outside.png"_s), "png", 0644));
    ASSERT_TRUE(QFile::link(bundle + u"/AppIcon.png"_s, bundle + u"/Linked.png"_s));

    EXPECT_EQ(Bundle::resource(bundle, u"AppIcon"_s, u"png"_s), bundle + u"/AppIcon.png"_s);
    for (const char *name : {"Folder", "Linked", "../Outside"})
        EXPECT_EQ(Bundle::resource(bundle, QString::fromUtf8(name), u"png"_s), std::nullopt)
            << name;
}

// Under any umask, without leftovers; a link, even to a directory, is never written through.
TEST(PrivateFile, WriteReplacesAWiderFileWithAnOwnerOnlyOneAndRefusesLinks) {
    test::TempDir temp;
    const QString target = temp.path(u"record.json"_s);
    test::writeFile(target, "old", 0644);
    const mode_t previous = ::umask(0);
    EXPECT_EQ(test::failureOf(PrivateFile::writeAtomically(target, "new")), QString());
    ::umask(previous);
    EXPECT_EQ(test::readAll(target), QByteArrayLiteral("new"));
    EXPECT_EQ(test::permissions(target), 0600);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"record.json"_s});

    const QString link = temp.path(u"link"_s);
    QFile::link(target, link);
    QFile::link(temp.path(), temp.path(u"alias"_s));
    EXPECT_EQ(test::failureOf(PrivateFile::writeAtomically(link, "evil")),
              u"“%1”：路径是符号链接或链接层级过多。"_s.arg(link));
    EXPECT_FALSE(PrivateFile::writeAtomically(temp.path(u"alias/id"_s), "x").ok());
    EXPECT_EQ(test::readAll(target), QByteArrayLiteral("new"));
    EXPECT_FALSE(QFile::exists(temp.path(u"id"_s)));
}

TEST(PrivateFile, ReadsOnlyTrustworthyRegularFilesWithinTheLimit) {
    test::TempDir temp;
    const auto file = [&](const char *name) {
        return temp.path(QString::fromLatin1(name));
    };
    test::writeFile(file("private"), "content", 0600);
    test::writeFile(file("loose"), "content", 0604);
    QFile::link(file("private"), file("link"));
    ::mkfifo(QFile::encodeName(file("fifo")).constData(), 0600);
    test::writeFile(file("oversized"), QByteArray(17, 'x'), 0600);

    using enum PrivateFile::Trust;
    const std::tuple<const char *, PrivateFile::Trust, bool> cases[] = {
        {"private", OwnerOnly, true},         {"loose", AnyPermissions, true},
        {"loose", OwnerOnly, false},          {"link", AnyPermissions, false},
        {"fifo", AnyPermissions, false}, // must not block
        {"oversized", AnyPermissions, false},
    };
    for (const auto &[name, trust, readable] : cases) {
        const Result<QByteArray> read = PrivateFile::readNoFollow(file(name), 16, trust);
        EXPECT_EQ(read.ok() ? *read : QByteArray(), readable ? "content" : QByteArray()) << name;
    }
}

} // namespace
