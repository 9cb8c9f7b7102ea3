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

// The self-test reads the version from an XML Info.plist; a binary one reads the same, and a
// link to one gives no version.
TEST(BundleInfo, ReadsABinaryPropertyListButNoLinkToOne) {
    test::TempDir temp;
    const QString info = temp.path(QStringLiteral("Info.plist"));
    const QString key = QStringLiteral("CFBundleShortVersionString");
    ASSERT_TRUE(test::writeFile(
        info,
        QByteArray::fromHex("62706c6973743030d101025f101a434642756e646c6553686f72745665"
                            "7273696f6e537472696e6755322e302e31080b28000000000000010100"
                            "000000000000030000000000000000000000000000002e"),
        0644));
    EXPECT_EQ(Bundle::infoString(temp.path(), key), QStringLiteral("2.0.1"));
    ASSERT_TRUE(QFile::rename(info, temp.path(QStringLiteral("real.plist"))));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("real.plist")), info));
    EXPECT_EQ(Bundle::infoString(temp.path(), key), std::nullopt);
}

} // namespace
