#include "wallpaper/WallpaperStore.h"
#include "net/FileHasher.h"
#include "support/FakeDesktop.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

using namespace velmora;
using velmora::test::TempDir;

namespace {

WallpaperMetadata metadata(qint64 id, const QString &fileName, const QString &contentType,
                           const QString &sha256 = QString(64, u'a')) {
    return {id,     QStringLiteral("2026-12-06"), fileName, contentType, 8,
            sha256, QStringLiteral("/f")};
}

TEST(CacheAndExportNames, FollowTheNamingRules) {
    const QString digest = QStringLiteral("9f2c41ab07de55") + QString(50, u'0');
    const struct {
        WallpaperMetadata metadata;
        const char *cacheName;
        const char *exportName;
    } rows[] = {
        {metadata(1027, QStringLiteral("Sunrise.JPEG"), QStringLiteral("image/jpeg"), digest),
         "1027-9f2c41ab07de.jpeg", "2026-12-06_Sunrise.jpeg"},
        {metadata(5, QStringLiteral("a.jpg"), QString(), QString()), "5-unknown.jpg",
         "2026-12-06_a.jpg"},
        {metadata(5, QStringLiteral("a.jpg"), QString(), QStringLiteral("zz-a1-b2")), "5-a1b2.jpg",
         "2026-12-06_a.jpg"},
        {metadata(-42, QStringLiteral("a.gif"), QStringLiteral("IMAGE/WEBP")),
         "42-aaaaaaaaaaaa.webp", "2026-12-06_a.webp"},
        {metadata(1, QStringLiteral(" . .png"), QString()), "1-aaaaaaaaaaaa.png",
         "2026-12-06_Velmora壁纸.png"},
        // A right-to-left override would make "evil\u202Egpj.png" read as "evilgnp.jpg".
        {metadata(1, QStringLiteral("a/Dawn: \u202Eharbour\n\u200B.JPG"), QString()),
         "1-aaaaaaaaaaaa.jpg", "2026-12-06_Dawn_ _harbour__.jpg"},
    };
    TempDir temp;
    WallpaperStore store(ClientPaths(temp.path()));
    for (const auto &row : rows) {
        EXPECT_EQ(store.cachedURL(row.metadata),
                  temp.path(QStringLiteral("wallpapers/")) + QString::fromUtf8(row.cacheName));
        EXPECT_EQ(WallpaperStore::exportFileName(row.metadata), QString::fromUtf8(row.exportName));
    }
    WallpaperMetadata hostile = metadata(1, QString(200, u'长') + QStringLiteral(".jpg"), {});
    hostile.effectiveDate = QStringLiteral("../../.ssh/x\u202E");
    EXPECT_EQ(WallpaperStore::exportFileName(hostile),
              QStringLiteral(".._.._.ssh_x__") + QString(120, u'长') + QStringLiteral(".jpg"));
}

class StoreOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(paths.ensure().ok());
        Sha256 hash;
        hash.update("wallpaper bytes");
        today = metadata(1, QStringLiteral("w.jpg"), QStringLiteral("image/jpeg"), hash.finalHex());
        path = store.cachedURL(today);
        ASSERT_TRUE(test::writeFile(path, "wallpaper bytes"));
    }

    QString cacheEntries() const {
        return QDir(paths.wallpapers())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name)
            .join(u' ');
    }

    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    QString record = paths.lastWallpaperRecord();
    std::shared_ptr<test::FakeDesktop::State> desktop =
        std::make_shared<test::FakeDesktop::State>();
    WallpaperStore store{paths, test::FakeDesktop::factory(desktop)};
    WallpaperMetadata today;
    QString path;
};

TEST_F(StoreOnDisk, CacheCheckNeedsAnExistingUnlinkedMatchingFile) {
    const QString link = paths.wallpapers() + QStringLiteral("/link.jpg");
    ASSERT_TRUE(QFile::link(path, link));
    const std::tuple<QString, QString, bool> cases[] = {
        {path, today.sha256, true},
        {path, today.sha256.toUpper(), true},
        {path, QString(), true},
        {path, QString(64, u'0'), false},
        {path + QStringLiteral(".missing"), QString(), false},
        {link, today.sha256, false},
    };
    for (const auto &[file, digest, valid] : cases)
        EXPECT_EQ(WallpaperStore::isValidCache(file, digest), valid)
            << file.toStdString() << " " << digest.toStdString();
}

TEST_F(StoreOnDisk, RememberedWallpaperComesBackWhileItsFileStillMatches) {
    // Whatever the service sends as a date, the record written reads back.
    today.effectiveDate = QString(1'000'000, u'日');
    store.remember(today, path);
    EXPECT_EQ(test::permissions(record), 0600);
    const auto last = store.lastVerifiedWallpaper();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->path, path);
    EXPECT_EQ(last->date, QString(256, u'日'));

    ASSERT_TRUE(test::writeFile(path, "replaced"));
    EXPECT_FALSE(store.lastVerifiedWallpaper());
    EXPECT_TRUE(QFile::exists(record)) << "a stale record is left alone";
}

TEST_F(StoreOnDisk, RememberTouchesNothingOutsideTheCacheAndNeverWritesThroughALink) {
    const QString outside = temp.path(QStringLiteral("copy.jpg"));
    ASSERT_TRUE(QFile::copy(path, outside));
    store.remember(today, outside);
    EXPECT_FALSE(QFile::exists(record));

    const QString target = temp.path(QStringLiteral("target.json"));
    ASSERT_TRUE(test::writeFile(target, "keep"));
    ASSERT_TRUE(QFile::link(target, record));
    store.remember(today, path);
    EXPECT_EQ(test::readAll(target), QByteArray("keep"));
    EXPECT_FALSE(store.lastVerifiedWallpaper());
}

TEST_F(StoreOnDisk, DamagedOrHostileRecordsReadAsNone) {
    const QString row = QStringLiteral(R"({"fileName":"%1","sha256":"%2","effectiveDate":%3})");
    const QString name = path.section(u'/', -1);
    for (const QString &content :
         {QStringLiteral("not json"), row.arg(name, today.sha256, QStringLiteral("7")),
          row.arg(QStringLiteral("../wallpapers/") + name, today.sha256,
                  QStringLiteral("\"d\""))}) {
        ASSERT_TRUE(test::writeFile(record, content.toUtf8()));
        EXPECT_FALSE(store.lastVerifiedWallpaper()) << content.toStdString();
    }
}

TEST_F(StoreOnDisk, PruneKeepsTheNewestAndNeverTouchesHiddenLinkedOrExtensionlessEntries) {
    ASSERT_TRUE(QFile::remove(path));
    const auto setModified = [](const QString &file, time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, AT_SYMLINK_NOFOLLOW);
    };
    for (int i = 0; i < 10; ++i) {
        const QString file = paths.wallpapers() + QStringLiteral("/%1.jpg").arg(i);
        ASSERT_TRUE(test::writeFile(file, "x"));
        setModified(file, 1'000'000 + i * 10);
    }
    for (const char *kept : {".hidden.jpg", "noextension"})
        ASSERT_TRUE(test::writeFile(paths.wallpapers() + u'/' + QLatin1String(kept), "x"));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("nowhere")),
                            paths.wallpapers() + QStringLiteral("/link.jpg")));
    ASSERT_TRUE(QDir().mkpath(paths.wallpapers() + QStringLiteral("/old.dir")));
    setModified(paths.wallpapers() + QStringLiteral("/old.dir"), 1);

    store.pruneCache();
    EXPECT_EQ(
        cacheEntries(),
        QStringLiteral(
            ".hidden.jpg 2.jpg 3.jpg 4.jpg 5.jpg 6.jpg 7.jpg 8.jpg 9.jpg link.jpg noextension"));
    // The recorded file (whose touch may have failed) and the one being applied stay.
    ASSERT_TRUE(test::writeFile(record, R"({"fileName":"2.jpg","sha256":"","effectiveDate":"d"})"));
    store.pruneCache(0, paths.wallpapers() + QStringLiteral("/3.jpg"));
    EXPECT_EQ(cacheEntries(), QStringLiteral(".hidden.jpg 2.jpg 3.jpg 9.jpg link.jpg noextension"));
}

TEST_F(StoreOnDisk, DesktopIsSetOnEveryScreenWithTheModesOptions) {
    ASSERT_TRUE(store.setDesktopWallpaper(path, DisplayMode::Fill).ok());
    ASSERT_TRUE(store.setDesktopWallpaper(path, DisplayMode::Fit).ok());
    ASSERT_EQ(desktop->calls.size(), 4u);
    EXPECT_EQ(desktop->calls[1].screen, QStringLiteral("HDMI-1"));
    EXPECT_TRUE(desktop->calls[0].options.allowClipping);
    EXPECT_FALSE(desktop->calls[2].options.allowClipping);

    desktop->failOnCall = 5;
    EXPECT_EQ(test::failureOf(store.setDesktopWallpaper(path, DisplayMode::Fit)),
              QStringLiteral("设置桌面壁纸失败：显示器拒绝了图片。"));
    EXPECT_EQ(desktop->calls.size(), 5u) << "the screen before the failure keeps its new picture";
    EXPECT_EQ(test::failureOf(store.setDesktopWallpaper(path + u'~', DisplayMode::Fit)),
              QStringLiteral("壁纸文件不存在：") + path + u'~');
    desktop->screens.clear();
    EXPECT_EQ(test::failureOf(store.setDesktopWallpaper(path, DisplayMode::Fit)),
              QStringLiteral("当前没有可用的显示器。"));
}

// What another local user or a crashed run can leave at a path the client opens. None of it
// may hang the client (a FIFO blocks a plain open for ever) or be written through.
TEST_F(StoreOnDisk, PlantedSpecialFilesAreSteppedAround) {
    const QString pictures = temp.path(QStringLiteral("Pictures"));
    ASSERT_TRUE(QDir().mkpath(pictures));
    const struct {
        const char *name;
        QString plantedAt;
        std::function<void()> check;
    } rows[] = {
        {"fifo at the cache path", path,
         [&] {
             EXPECT_FALSE(WallpaperStore::isValidCache(path, today.sha256));
         }},
        {"fifo at the saved copy's name", pictures + QStringLiteral("/2026-12-06_w.jpg"),
         [&] {
             EXPECT_EQ(
                 store.saveCopy(today, temp.path(QStringLiteral("copy.jpg")), pictures).value(),
                 pictures + QStringLiteral("/2026-12-06_w (1).jpg"));
         }},
    };
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("copy.jpg")), "wallpaper bytes"));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(row.plantedAt);
        ASSERT_EQ(::mkfifo(QFile::encodeName(row.plantedAt).constData(), 0600), 0);
        row.check();
    }
}

TEST_F(StoreOnDisk, SavingReusesAnIdenticalCopyAndNumbersAroundOthers) {
    const QString pictures = temp.path(QStringLiteral("Pictures/../Pictures"));
    const QString first = temp.path(QStringLiteral("Pictures/2026-12-06_w.jpg"));
    EXPECT_EQ(store.saveCopy(today, path, pictures).value(), first);
    EXPECT_EQ(store.saveCopy(today, path, pictures).value(), first);

    ASSERT_TRUE(test::writeFile(first, "someone else's picture"));
    const QString second = temp.path(QStringLiteral("Pictures/2026-12-06_w (1).jpg"));
    EXPECT_EQ(store.saveCopy(today, path, pictures).value(), second);
    EXPECT_EQ(test::readAll(first), QByteArray("someone else's picture"));
    EXPECT_EQ(test::readAll(second), QByteArray("wallpaper bytes"));

    EXPECT_EQ(store.saveCopy(today, path).value(),
              QDir::homePath() + QStringLiteral("/Pictures/Velmora壁纸/2026-12-06_w.jpg"));
}

TEST_F(StoreOnDisk, SavingRefusesUnverifiedSourcesAndLinkedFolders) {
    WallpaperMetadata wrong = today;
    wrong.sha256 = QString(64, u'0');
    const QString pictures = temp.path(QStringLiteral("Pictures"));
    EXPECT_EQ(test::failureOf(store.saveCopy(wrong, path, pictures)),
              QStringLiteral("今日壁纸缓存校验失败，未执行保存。"));
    EXPECT_FALSE(QFile::exists(pictures)) << "nothing is created for a refused source";

    const QString elsewhere = temp.path(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, pictures));
    EXPECT_EQ(test::failureOf(store.saveCopy(today, path, pictures)),
              QStringLiteral("目标图片目录不能是符号链接。"));
    EXPECT_TRUE(QDir(elsewhere).isEmpty());

    // A link planted at the export name is stepped around, never written through.
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("victim")),
                            elsewhere + QStringLiteral("/2026-12-06_w.jpg")));
    EXPECT_EQ(store.saveCopy(today, path, elsewhere).value(),
              elsewhere + QStringLiteral("/2026-12-06_w (1).jpg"));
    EXPECT_FALSE(QFile::exists(temp.path(QStringLiteral("victim"))));

    // A file where the folder should be is a folder that cannot be made.
    const QString file = temp.path(QStringLiteral("file"));
    ASSERT_TRUE(test::writeFile(file, "x"));
    EXPECT_TRUE(test::failureOf(store.saveCopy(today, path, file))
                    .startsWith(QStringLiteral("无法创建图片保存目录：")));
}

} // namespace
