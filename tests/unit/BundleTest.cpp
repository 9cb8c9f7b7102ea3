#include "platform/Bundle.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

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

} // namespace
