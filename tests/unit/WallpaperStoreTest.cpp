#include "wallpaper/WallpaperStore.h"
#include "core/StagingFile.h"
#include "net/FileHasher.h"
#include "support/FakeDesktop.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::test::TempDir;

namespace {

WallpaperMetadata metadata(qint64 id, const QString &fileName, const QString &contentType,
                           const QString &sha256 = QString(64, u'a'),
                           const QString &date = u"2026-12-06"_s) {
    return {id, date, fileName, contentType, 8, sha256, u"/f"_s};
}

class StoreOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(paths.ensure().ok());
        Sha256 hash;
        hash.update("wallpaper bytes");
        today = metadata(1, u"w.jpg"_s, u"image/jpeg"_s, hash.finalHex());
        path = store.cachedURL(today);
        ASSERT_TRUE(test::writeFile(path, "wallpaper bytes"));
    }

    QString entries(const QString &folder) const {
        return QDir(folder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name)
            .join(u' ');
    }
    // "path|date" of the remembered wallpaper, or "none".
    QString last() const {
        const auto found = store.lastVerifiedWallpaper();
        return found ? found->path + u'|' + found->date : u"none"_s;
    }
    // The saved copy's path or the failure, as the user reads it.
    QString save(const WallpaperMetadata &metadata, const QString &folder) const {
        const auto saved = store.saveCopy(metadata, path, folder);
        return saved ? *saved : saved.error().description();
    }
    QString at(const char *name) const { return temp.path(QString::fromUtf8(name)); }

    TempDir temp;
    ClientPaths paths{temp.path(u"data"_s)};
    QString record = paths.lastWallpaperRecord();
    std::shared_ptr<test::FakeDesktop::State> desktop =
        std::make_shared<test::FakeDesktop::State>();
    WallpaperStore store{paths, test::FakeDesktop::factory(desktop)};
    WallpaperMetadata today;
    QString path;
};

TEST_F(StoreOnDisk, CacheAndExportNamesFollowTheNamingRules) {
    const QString digest = u"9f2c41ab07de55"_s + QString(50, u'0');
    const struct {
        WallpaperMetadata metadata;
        const char *cacheName;
        const char *exportName;
    } rows[] = {
        {metadata(1027, u"Sunrise.JPEG"_s, u"image/jpeg"_s, digest), "1027-9f2c41ab07de.jpeg",
         "2026-12-06_Sunrise.jpeg"},
        {metadata(-42, u"a.gif"_s, u"IMAGE/WEBP"_s), "42-aaaaaaaaaaaa.webp", "2026-12-06_a.webp"},
        {metadata(1, u" . .png"_s, QString()), "1-aaaaaaaaaaaa.png", "2026-12-06_Velmora壁纸.png"},
        // A right-to-left override would make "evil\u202Egpj.png" read as "evilgnp.jpg".
        {metadata(1, u"a/Dawn: \u202Eharbour\n\u200B.JPG"_s, QString()), "1-aaaaaaaaaaaa.jpg",
         "2026-12-06_Dawn_ _harbour__.jpg"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(store.cachedURL(row.metadata),
                  paths.wallpapers() + u'/' + QString::fromUtf8(row.cacheName));
        EXPECT_EQ(WallpaperStore::exportFileName(row.metadata), QString::fromUtf8(row.exportName));
    }
    // A name holds 255 bytes: a long Chinese title is cut to fit, with room left for " (n)".
    EXPECT_EQ(WallpaperStore::exportFileName(
                  metadata(1, QString(200, u'长') + u".jpg"_s, {}, {}, u"../../.ssh/x\u202E"_s)),
              u".._.._.ssh_x__"_s + QString(75, u'长') + u".jpg"_s);
}

// A FIFO blocks a plain open for ever.
TEST_F(StoreOnDisk, CacheCheckNeedsAnExistingUnlinkedRegularMatchingFile) {
    const QString link = paths.wallpapers() + u"/link.jpg"_s;
    const QString fifo = paths.wallpapers() + u"/fifo.jpg"_s;
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::tuple<QString, QString, bool> cases[] = {
        {path, today.sha256, true},  {path, today.sha256.toUpper(), true},
        {path, QString(), true},     {path, today.sha256.left(63), false},
        {link, today.sha256, false}, {fifo, QString(), false},
    };
    for (const auto &[file, digest, valid] : cases)
        EXPECT_EQ(WallpaperStore::isValidCache(file, digest), valid)
            << file.toStdString() << " " << digest.toStdString();
}

// Whatever the service sends as a date, the record written reads back while its file still
// matches; a record naming another type or place reads as none, and a link at the record is never
// written through.
TEST_F(StoreOnDisk, RememberedWallpaperComesBackWhileItsFileStillMatches) {
    today.effectiveDate = QString(1'000'000, u'日');
    store.remember(today, path);
    EXPECT_EQ(test::permissions(record), 0600);
    EXPECT_EQ(last(), path + u'|' + QString(256, u'日'));
    ASSERT_TRUE(test::writeFile(path, "replaced"));
    EXPECT_EQ(last(), u"none"_s);

    ASSERT_TRUE(test::writeFile(path, "wallpaper bytes"));
    const QString row = QStringLiteral(R"({"fileName":"%1","sha256":"%2","effectiveDate":%3})");
    const QString name = path.section(u'/', -1);
    for (const QString &content : {row.arg(name, today.sha256, u"7"_s),
                                   row.arg(u"../wallpapers/"_s + name, today.sha256, u"\"d\""_s)}) {
        ASSERT_TRUE(test::writeFile(record, content.toUtf8()));
        EXPECT_EQ(last(), u"none"_s) << content.toStdString();
    }

    QFile::remove(record);
    ASSERT_TRUE(test::writeFile(at("target.json"), "keep"));
    ASSERT_TRUE(QFile::link(at("target.json"), record));
    store.remember(today, path);
    EXPECT_EQ(test::readAll(at("target.json")), QByteArray("keep"));
    EXPECT_EQ(last(), u"none"_s);
}

TEST_F(StoreOnDisk, PruneKeepsTheNewestAndNeverTouchesHiddenLinkedOrExtensionlessEntries) {
    QFile::remove(path);
    const auto setModified = [](const QString &file, time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, AT_SYMLINK_NOFOLLOW);
    };
    // Of the update packages only the one being opened, or else the newest, stays; a killed
    // download's staging file goes.
    const QString updates = paths.updates() + u'/';
    int age = 0;
    for (const char *name : {".c.deb.Xy12.download", "a.deb", "b.deb", "c.deb"}) {
        test::writeFile(updates + QLatin1String(name), "x");
        setModified(updates + QLatin1String(name), 1'000'000 + 10 * ++age);
    }
    store.pruneUpdates(updates + u"a.deb"_s);
    EXPECT_EQ(entries(paths.updates()), u"a.deb"_s);
    test::writeFile(updates + u"b.deb"_s, "x");
    store.pruneUpdates();
    EXPECT_EQ(entries(paths.updates()), u"b.deb"_s);

    for (int i = 0; i < 10; ++i) {
        const QString file = paths.wallpapers() + u"/%1.jpg"_s.arg(i);
        test::writeFile(file, "x");
        setModified(file, 1'000'000 + i * 10);
    }
    for (const char *kept : {".hidden.jpg", "noextension"})
        test::writeFile(paths.wallpapers() + u'/' + QLatin1String(kept), "x");
    QFile::link(at("nowhere"), paths.wallpapers() + u"/link.jpg"_s);
    QDir().mkpath(paths.wallpapers() + u"/old.dir"_s);
    setModified(paths.wallpapers() + u"/old.dir"_s, 1);
    // A writer killed outright leaves its staging file, new as it is, unlocked; a live one stays.
    const QString destination = paths.wallpapers() + u"/9.jpg"_s;
    if (const pid_t child = ::fork(); child == 0) {
        Result<StagingFile> left = StagingFile::create(destination, ".download");
        ::_exit(left.ok() ? 0 : 1);
    }
    int status = -1;
    ::wait(&status);
    ASSERT_EQ(status, 0);
    Result<StagingFile> live = StagingFile::create(destination, ".download");

    store.pruneCache();
    EXPECT_EQ(entries(paths.wallpapers()),
              QFileInfo(live->path()).fileName() +
                  u" .hidden.jpg 2.jpg 3.jpg 4.jpg 5.jpg 6.jpg 7.jpg 8.jpg 9.jpg "
                  "link.jpg noextension"_s);
    // The recorded file (whose touch may have failed) and the one being applied stay.
    test::writeFile(record, R"({"fileName":"2.jpg","sha256":"","effectiveDate":"d"})");
    for (const char *newer : {"10.jpg", "11.jpg"})
        test::writeFile(paths.wallpapers() + u'/' + QLatin1String(newer), "x");
    store.pruneCache(paths.wallpapers() + u"/3.jpg"_s);
    EXPECT_EQ(entries(paths.wallpapers()),
              QFileInfo(live->path()).fileName() +
                  u" .hidden.jpg 10.jpg 11.jpg 2.jpg 3.jpg 4.jpg 5.jpg 6.jpg 7.jpg "
                  "8.jpg 9.jpg link.jpg noextension"_s);
}

// The screen before a failure keeps its new picture; every screen in either mode and "no
// screens" the refresh commands check.
TEST_F(StoreOnDisk, SettingTheDesktopReportsAMissingFileOrAScreensRefusal) {
    const auto set = [&](const QString &file, DisplayMode::Value mode) {
        QString outcome = test::failureOf(store.setDesktopWallpaper(file, mode)) + u'|';
        for (const auto &call : desktop->calls)
            outcome += call.screen + (call.options.allowClipping ? u'+' : u'-');
        desktop->calls.clear();
        return outcome;
    };
    desktop->failOnCall = 1;
    EXPECT_EQ(set(path, DisplayMode::Fit), u"设置桌面壁纸失败：显示器拒绝了图片。|DP-1-"_s);
    EXPECT_EQ(set(path + u'~', DisplayMode::Fit), u"壁纸文件不存在：%1~|"_s.arg(path));
}

// Someone else's file, a planted link or FIFO is numbered around, never written through; a
// linked folder or an unverified source is refused before anything is made.
TEST_F(StoreOnDisk, SavingStepsAroundWhateverIsAlreadyThere) {
    const QString first = at("Pictures/2026-12-06_w.jpg");
    const QString second = at("Pictures/2026-12-06_w (1).jpg");
    WallpaperMetadata wrong = today;
    wrong.sha256 = QString(64, u'0');
    EXPECT_EQ(save(wrong, at("Pictures")), u"今日壁纸缓存校验失败，未执行保存。"_s);
    EXPECT_FALSE(QFile::exists(at("Pictures")));
    EXPECT_EQ(save(today, at("Pictures/../Pictures")), first);
    test::writeFile(first, "someone else's picture");
    EXPECT_EQ(save(today, at("Pictures")), second);
    EXPECT_EQ(test::readAll(first) + test::readAll(second),
              QByteArray("someone else's picturewallpaper bytes"));
    EXPECT_EQ(store.saveCopy(today, path).value(),
              QDir::homePath() + u"/Pictures/Velmora壁纸/2026-12-06_w.jpg"_s);

    QDir().mkpath(at("elsewhere"));
    QFile::link(at("elsewhere"), at("linked"));
    EXPECT_EQ(save(today, at("linked")), u"目标图片目录不能是符号链接。"_s);
    EXPECT_EQ(entries(at("elsewhere")), QString());
    QFile::link(at("victim"), at("elsewhere/2026-12-06_w.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("elsewhere/2026-12-06_w (1).jpg")).constData(), 0600),
              0);
    EXPECT_EQ(save(today, at("elsewhere")), at("elsewhere/2026-12-06_w (2).jpg"));
    EXPECT_FALSE(QFile::exists(at("victim")));

    test::writeFile(at("file"), "x");
    EXPECT_TRUE(save(today, at("file")).startsWith(u"无法创建图片保存目录："_s));
}

} // namespace
