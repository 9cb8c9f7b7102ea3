#include "platform/Bundle.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace velmora;

namespace {

// Only a regular file inside the bundle directory is a resource: not a directory, not a link
// (even to the real icon), not a file reached through "..".
TEST(BundleResource, AnswersOnlyRegularFilesInsideTheBundle) {
    test::TempDir temp;
    const QString bundle = temp.path(QStringLiteral("share/velmora-wallpaper"));
    ASSERT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Folder.png")));
    ASSERT_TRUE(test::writeFile(bundle + QStringLiteral("/AppIcon.png"), "png", 0644));
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("share/Outside.png")), "png", 0644));
    ASSERT_TRUE(QFile::link(bundle + QStringLiteral("/AppIcon.png"),
                            bundle + QStringLiteral("/Linked.png")));

    EXPECT_EQ(Bundle::resource(bundle, QStringLiteral("AppIcon"), QStringLiteral("png")),
              bundle + QStringLiteral("/AppIcon.png"));
    for (const char *name : {"Folder", "Linked", "../Outside"})
        EXPECT_EQ(Bundle::resource(bundle, QString::fromUtf8(name), QStringLiteral("png")),
                  std::nullopt)
            << name;
}

} // namespace
