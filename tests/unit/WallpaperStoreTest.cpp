#include "wallpaper/WallpaperStore.h"
#include "net/FileHasher.h"
#include "support/FakeDesktop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

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
        {metadata(5, QStringLiteral("a.jpg"), QStringLiteral("image/jpeg"), QString()),
         "5-unknown.jpg", "2026-12-06_a.jpg"},
        {metadata(5, QStringLiteral("a.jpg"), QString(), QStringLiteral("zz-a1-b2")), "5-a1b2.jpg",
         "2026-12-06_a.jpg"},
        {metadata(-42, QStringLiteral("a.png"), QString()), "42-aaaaaaaaaaaa.png",
         "2026-12-06_a.png"},
        {metadata(1, QStringLiteral("a.gif"), QStringLiteral("IMAGE/WEBP")), "1-aaaaaaaaaaaa.webp",
         "2026-12-06_a.webp"},
        {metadata(1, QStringLiteral("a/Dawn: harbour.JPG"), QString()), "1-aaaaaaaaaaaa.jpg",
         "2026-12-06_Dawn_ harbour.jpg"},
        {metadata(1, QStringLiteral(" . .png"), QString()), "1-aaaaaaaaaaaa.png",
         "2026-12-06_Velmora壁纸.png"},
        {metadata(1, QStringLiteral("a\tb\nc.jpg"), QString()), "1-aaaaaaaaaaaa.jpg",
         "2026-12-06_a_b_c.jpg"},
        {metadata(1, QStringLiteral("evil\u202Egpj\u200B.png"), QString()), "1-aaaaaaaaaaaa.png",
         "2026-12-06_evil_gpj_.png"},
    };
    TempDir temp;
    WallpaperStore store(ClientPaths(temp.path()));
    for (const auto &row : rows) {
        EXPECT_EQ(store.cachedURL(row.metadata),
                  temp.path(QStringLiteral("wallpapers/")) + QString::fromUtf8(row.cacheName));
        EXPECT_EQ(WallpaperStore::exportFileName(row.metadata), QString::fromUtf8(row.exportName));
    }
}

TEST(ExportName, ADateFromTheServiceCannotNameAnotherDirectory) {
    WallpaperMetadata hostile = metadata(1, QStringLiteral("a.jpg"), QString());
    hostile.effectiveDate = QStringLiteral("../../.ssh/x\u202E");
    EXPECT_EQ(WallpaperStore::exportFileName(hostile), QStringLiteral(".._.._.ssh_x__a.jpg"));
    EXPECT_EQ(WallpaperStore::exportFileName(
                  metadata(1, QString(200, u'长') + QStringLiteral(".jpg"), QString())),
              QStringLiteral("2026-12-06_") + QString(120, u'长') + QStringLiteral(".jpg"));
}

class StoreOnDisk : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(paths.ensure().ok()); }

    // A cache file with real content, registered under its real digest.
    std::pair<WallpaperMetadata, QString> cached(qint64 id, const QByteArray &bytes) {
        Sha256 hash;
        hash.update(bytes);
        const WallpaperMetadata m =
            metadata(id, QStringLiteral("w.jpg"), QStringLiteral("image/jpeg"), hash.finalHex());
        const QString path = store.cachedURL(m);
        EXPECT_TRUE(test::writeFile(path, bytes));
        return {m, path};
    }

    static void setModified(const QString &path, time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
    }

    QString cacheEntries() const {
        return QDir(paths.wallpapers())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name)
            .join(u' ');
    }

    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    std::shared_ptr<test::FakeDesktop::State> desktop =
        std::make_shared<test::FakeDesktop::State>();
    WallpaperStore store{paths, test::FakeDesktop::factory(desktop)};
};

TEST_F(StoreOnDisk, CacheCheckNeedsAnExistingUnlinkedMatchingFile) {
    const auto [m, path] = cached(1, "wallpaper bytes");
    EXPECT_TRUE(WallpaperStore::isValidCache(path, m.sha256));
    EXPECT_TRUE(WallpaperStore::isValidCache(path, m.sha256.toUpper()));
    EXPECT_TRUE(WallpaperStore::isValidCache(path, QString()));
    EXPECT_FALSE(WallpaperStore::isValidCache(path, QString(64, u'0')));
    EXPECT_FALSE(WallpaperStore::isValidCache(path + QStringLiteral(".missing"), QString()));
    ASSERT_TRUE(QFile::link(path, paths.wallpapers() + QStringLiteral("/link.jpg")));
    EXPECT_FALSE(
        WallpaperStore::isValidCache(paths.wallpapers() + QStringLiteral("/link.jpg"), m.sha256));
}

TEST_F(StoreOnDisk, RememberedWallpaperComesBackWhileItsFileStillMatches) {
    const auto [m, path] = cached(1, "wallpaper bytes");
    store.remember(m, path);
    const QString record = paths.root() + QStringLiteral("/last-wallpaper.json");
    EXPECT_EQ(test::permissions(record), 0600);
    const QJsonObject written = QJsonDocument::fromJson(test::readAll(record)).object();
    EXPECT_EQ(written.keys(), (QStringList{QStringLiteral("effectiveDate"),
                                           QStringLiteral("fileName"), QStringLiteral("sha256")}));

    const auto last = store.lastVerifiedWallpaper();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->path, path);
    EXPECT_EQ(last->date, QStringLiteral("2026-12-06"));

    // Whatever the service sends as a date, the record written reads back.
    WallpaperMetadata huge = m;
    huge.effectiveDate = QString(1'000'000, u'日');
    store.remember(huge, path);
    ASSERT_TRUE(store.lastVerifiedWallpaper());
    EXPECT_EQ(store.lastVerifiedWallpaper()->date, QString(256, u'日'));

    ASSERT_TRUE(test::writeFile(path, "replaced"));
    EXPECT_FALSE(store.lastVerifiedWallpaper());
    QFile::remove(path);
    EXPECT_FALSE(store.lastVerifiedWallpaper());
    EXPECT_TRUE(QFile::exists(record)) << "a stale record is left alone";
}

TEST_F(StoreOnDisk, RememberTouchesNothingOutsideTheCacheAndNeverWritesThroughALink) {
    const auto [m, path] = cached(1, "wallpaper bytes");
    const QString outside = temp.path(QStringLiteral("copy.jpg"));
    ASSERT_TRUE(QFile::copy(path, outside));
    store.remember(m, outside);
    EXPECT_FALSE(QFile::exists(paths.root() + QStringLiteral("/last-wallpaper.json")));

    const QString target = temp.path(QStringLiteral("target.json"));
    ASSERT_TRUE(test::writeFile(target, "keep"));
    ASSERT_TRUE(QFile::link(target, paths.root() + QStringLiteral("/last-wallpaper.json")));
    store.remember(m, path);
    EXPECT_EQ(test::readAll(target), QByteArray("keep"));
    EXPECT_FALSE(store.lastVerifiedWallpaper());
}

TEST_F(StoreOnDisk, DamagedOrHostileRecordsReadAsNone) {
    const auto [m, path] = cached(1, "wallpaper bytes");
    const QString record = paths.root() + QStringLiteral("/last-wallpaper.json"), digest = m.sha256;
    const QByteArray rows[] = {
        "not json",
        "[]",
        QStringLiteral(R"({"fileName":"%1","sha256":"%2","effectiveDate":7})")
            .arg(QFileInfo(path).fileName(), digest)
            .toUtf8(),
        QStringLiteral(R"({"fileName":"../wallpapers/%1","sha256":"%2","effectiveDate":"d"})")
            .arg(QFileInfo(path).fileName(), digest)
            .toUtf8(),
    };
    for (const QByteArray &row : rows) {
        ASSERT_TRUE(test::writeFile(record, row));
        EXPECT_FALSE(store.lastVerifiedWallpaper()) << row.constData();
    }
}

TEST_F(StoreOnDisk, PruneKeepsTheNewestAndNeverTouchesHiddenLinkedOrExtensionlessEntries) {
    for (int i = 0; i < 10; ++i) {
        const QString path = paths.wallpapers() + QStringLiteral("/%1.jpg").arg(i);
        ASSERT_TRUE(test::writeFile(path, "x"));
        setModified(path, 1'000'000 + i * 10);
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
    ASSERT_TRUE(test::writeFile(paths.lastWallpaperRecord(),
                                R"({"fileName":"2.jpg","sha256":"","effectiveDate":"d"})"));
    store.pruneCache(0, paths.wallpapers() + QStringLiteral("/3.jpg"));
    EXPECT_EQ(cacheEntries(), QStringLiteral(".hidden.jpg 2.jpg 3.jpg 9.jpg link.jpg noextension"));
}

TEST_F(StoreOnDisk, DesktopIsSetOnEveryScreenWithTheModesOptions) {
    const auto [m, path] = cached(1, "wallpaper bytes");
    ASSERT_TRUE(store.setDesktopWallpaper(path, DisplayMode::Fill).ok());
    ASSERT_TRUE(store.setDesktopWallpaper(path, DisplayMode::Fit).ok());
    ASSERT_EQ(desktop->calls.size(), 4u);
    EXPECT_EQ(desktop->calls[0].screen, QStringLiteral("DP-1"));
    EXPECT_EQ(desktop->calls[1].screen, QStringLiteral("HDMI-1"));
    EXPECT_TRUE(desktop->calls[0].options.allowClipping);
    EXPECT_FALSE(desktop->calls[2].options.allowClipping);

    desktop->failOnCall = 5;
    const Status failed = store.setDesktopWallpaper(path, DisplayMode::Fit);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().description(), QStringLiteral("设置桌面壁纸失败：显示器拒绝了图片。"));
    EXPECT_EQ(desktop->calls.size(), 5u) << "the screen before the failure keeps its new picture";

    const Status missing =
        store.setDesktopWallpaper(path + QStringLiteral(".gone"), DisplayMode::Fit);
    EXPECT_EQ(missing.error().description(),
              QStringLiteral("壁纸文件不存在：") + path + QStringLiteral(".gone"));
    desktop->screens.clear();
    EXPECT_EQ(store.setDesktopWallpaper(path, DisplayMode::Fit).error().description(),
              QStringLiteral("当前没有可用的显示器。"));
    EXPECT_EQ(desktop->calls.size(), 5u);
}

TEST_F(StoreOnDisk, SavingReusesAnIdenticalCopyAndNumbersAroundOthers) {
    const auto [m, path] = cached(1, "wallpaper bytes");
    const QString pictures = temp.path(QStringLiteral("Pictures/../Pictures"));
    const Result<QString> first = store.saveCopy(m, path, pictures);
    ASSERT_TRUE(first.ok()) << first.error().description().toStdString();
    EXPECT_EQ(*first, temp.path(QStringLiteral("Pictures/2026-12-06_w.jpg")));
    EXPECT_EQ(store.saveCopy(m, path, pictures).value(), *first);

    ASSERT_TRUE(test::writeFile(*first, "someone else's picture"));
    EXPECT_EQ(store.saveCopy(m, path, pictures).value(),
              temp.path(QStringLiteral("Pictures/2026-12-06_w (1).jpg")));
    EXPECT_EQ(test::readAll(*first), QByteArray("someone else's picture"));
    EXPECT_EQ(test::readAll(temp.path(QStringLiteral("Pictures/2026-12-06_w (1).jpg"))),
              QByteArray("wallpaper bytes"));

    // Without a destination: the pictures folder and its own subfolder.
    EXPECT_EQ(store.saveCopy(m, path).value(),
              QDir::homePath() + QStringLiteral("/Pictures/Velmora壁纸/2026-12-06_w.jpg"));
}

TEST_F(StoreOnDisk, SavingRefusesUnverifiedSourcesAndLinkedFolders) {
    const auto [m, path] = cached(1, "wallpaper bytes");
    WallpaperMetadata wrong = m;
    wrong.sha256 = QString(64, u'0');
    const QString pictures = temp.path(QStringLiteral("Pictures"));
    EXPECT_EQ(store.saveCopy(wrong, path, pictures).error().description(),
              QStringLiteral("今日壁纸缓存校验失败，未执行保存。"));
    EXPECT_FALSE(QFile::exists(pictures)) << "nothing is created for a refused source";

    ASSERT_TRUE(QDir().mkpath(temp.path(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("elsewhere")), pictures));
    EXPECT_EQ(store.saveCopy(m, path, pictures).error().description(),
              QStringLiteral("目标图片目录不能是符号链接。"));
    EXPECT_TRUE(QDir(temp.path(QStringLiteral("elsewhere"))).isEmpty());

    // A link planted at the export name is stepped around, never written through.
    const QString real = temp.path(QStringLiteral("real"));
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("victim")),
                            real + QStringLiteral("/2026-12-06_w.jpg")));
    EXPECT_EQ(store.saveCopy(m, path, real).value(),
              real + QStringLiteral("/2026-12-06_w (1).jpg"));
    EXPECT_FALSE(QFile::exists(temp.path(QStringLiteral("victim"))));
}

} // namespace
