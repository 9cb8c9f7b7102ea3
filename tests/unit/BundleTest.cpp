#include "platform/Bundle.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace velmora;

namespace {

struct ResourceCase {
    const char *what;
    QString name;
    QString extension;
    bool found;
};

// Laid out in every case: AppIcon.png (a file), LICENSE (a file without extension), a directory
// named Folder.png, a link Linked.png to the real icon, and a file beside the bundle directory.
class BundleResource : public ::testing::TestWithParam<ResourceCase> {};

TEST_P(BundleResource, AnswersOnlyRegularFilesInsideTheBundle) {
    const ResourceCase &row = GetParam();
    test::TempDir temp;
    const QString bundle = temp.path(QStringLiteral("share/velmora-wallpaper"));
    ASSERT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Folder.png")));
    ASSERT_TRUE(test::writeFile(bundle + QStringLiteral("/AppIcon.png"), "png", 0644));
    ASSERT_TRUE(test::writeFile(bundle + QStringLiteral("/LICENSE"), "text", 0644));
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("share/Outside.png")), "png", 0644));
    ASSERT_TRUE(QFile::link(bundle + QStringLiteral("/AppIcon.png"),
                            bundle + QStringLiteral("/Linked.png")));

    const std::optional<QString> path = Bundle::resource(bundle, row.name, row.extension);
    if (row.found) {
        const QString file = row.extension.isEmpty() ? row.name : row.name + u'.' + row.extension;
        EXPECT_EQ(path, std::optional<QString>(bundle + u'/' + file)) << row.what;
    } else {
        EXPECT_EQ(path, std::nullopt) << row.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BundleResource,
    ::testing::Values(
        ResourceCase{"file", QStringLiteral("AppIcon"), QStringLiteral("png"), true},
        ResourceCase{"directory", QStringLiteral("Folder"), QStringLiteral("png"), false},
        ResourceCase{"symbolic link", QStringLiteral("Linked"), QStringLiteral("png"), false},
        ResourceCase{"outside", QStringLiteral("../Outside"), QStringLiteral("png"), false},
        ResourceCase{"empty name", QString(), QStringLiteral("png"), false}));

struct InfoCase {
    const char *what;
    QByteArray contents; // empty: Info.plist is a link to a valid one
    std::optional<QString> version;
};

const QByteArray validInfo =
    QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                      "<key>CFBundleShortVersionString</key><string>2.0.1</string></dict></plist>");

class BundleInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(BundleInfo, ReadsOnlyTextFromAPlainDictionary) {
    const InfoCase &row = GetParam();
    test::TempDir temp;
    if (row.contents.isEmpty()) {
        ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("real.plist")), validInfo, 0644));
        ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("real.plist")),
                                temp.path(QStringLiteral("Info.plist"))));
    } else {
        ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("Info.plist")), row.contents, 0644));
    }
    EXPECT_EQ(Bundle::infoString(temp.path(), QStringLiteral("CFBundleShortVersionString")),
              row.version)
        << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Contents, BundleInfo,
    ::testing::Values(
        InfoCase{"xml", validInfo, QStringLiteral("2.0.1")},
        InfoCase{"binary",
                 QByteArray::fromHex("62706c6973743030d101025f101a434642756e646c6553686f72745665"
                                     "7273696f6e537472696e6755322e302e31080b28000000000000010100"
                                     "000000000000030000000000000000000000000000002e"),
                 QStringLiteral("2.0.1")},
        InfoCase{"garbage", QByteArrayLiteral("not a property list"), std::nullopt},
        InfoCase{"symbolic link", QByteArray(), std::nullopt}));

} // namespace
