// The headless refresh end to end: the real service, the real cache and credential files, and a
// desktop that records what it was asked to show.
#include "wallpaper/Refresh.h"
#include "ClientHarness.h"
#include "core/KeychainStore.h"
#include "net/FileHasher.h"
#include "support/FakeDesktop.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

// Faults are written with designated initialisers naming only the fields that matter.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace velmora;
using velmora::test::ServiceTest;
using velmora::test::TempDir;

namespace {

class Refresh : public ServiceTest {
protected:
    struct Outcome {
        Status status;
        QStringList lines;
    };

    Outcome refresh(std::optional<QString> server = std::nullopt) {
        Outcome outcome;
        outcome.status = runRefresh(
            paths, server ? server : std::optional<QString>(service->origin()),
            [&](const QString &line) { outcome.lines << line; },
            test::FakeDesktop::factory(desktop));
        return outcome;
    }

    QStringList requestPaths() const {
        QStringList paths;
        for (const dev::RecordedRequest &request : service->requests())
            paths << request.path;
        return paths;
    }

    QString cacheFile() const {
        return paths.wallpapers() + u'/' + QFileInfo(desktop->calls.back().file).fileName();
    }

    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    std::shared_ptr<test::FakeDesktop::State> desktop =
        std::make_shared<test::FakeDesktop::State>();
};

TEST_F(Refresh, FirstRunEnrolsDownloadsSetsRemembersAndPrintsOneLine) {
    const Outcome first = refresh();
    ASSERT_TRUE(first.status.ok()) << first.status.error().description().toStdString();
    const dev::WallpaperInfo today = service->todayWallpaper();
    ASSERT_EQ(desktop->calls.size(), 2u);
    const QString file = desktop->calls.front().file;
    EXPECT_EQ(first.lines,
              QStringList{QStringLiteral("已设置壁纸：") + file + QStringLiteral("（") +
                          today.effectiveDate + QStringLiteral("）")});
    EXPECT_EQ(QFileInfo(file).absolutePath(), paths.wallpapers());
    EXPECT_EQ(FileHasher::sha256(file).value(), today.sha256);
    EXPECT_EQ(requestPaths(),
              (QStringList{QStringLiteral("/api/client/register"),
                           QStringLiteral("/api/client/wallpaper/today"), today.downloadPath}));

    const auto stored = KeychainStore(paths).load();
    ASSERT_TRUE(stored.ok() && stored->has_value());
    EXPECT_TRUE(service->isValidToken((*stored)->token));
    EXPECT_TRUE(QFile::exists(paths.root() + QStringLiteral("/last-wallpaper.json")));
}

TEST_F(Refresh, AWarmCacheMakesNoDownloadAndAStaleOneIsReplaced) {
    ASSERT_TRUE(refresh().status.ok());
    const QString file = cacheFile();
    service->clearRequests();

    ASSERT_TRUE(refresh().status.ok());
    EXPECT_EQ(requestPaths(), QStringList{QStringLiteral("/api/client/wallpaper/today")});

    ASSERT_TRUE(test::writeFile(file, "tampered"));
    service->clearRequests();
    ASSERT_TRUE(refresh().status.ok());
    EXPECT_EQ(requestPaths().size(), 2u);
    EXPECT_EQ(FileHasher::sha256(file).value(), service->todayWallpaper().sha256);
}

TEST_F(Refresh, AnUnreachableServiceFallsBackToTheLastVerifiedWallpaper) {
    ASSERT_TRUE(refresh().status.ok());
    const QString file = cacheFile();
    const QString date = service->todayWallpaper().effectiveDate;
    const QString origin = service->origin();
    service->stop();
    desktop->calls.clear();

    const Outcome offline = refresh(origin);
    ASSERT_TRUE(offline.status.ok()) << offline.status.error().description().toStdString();
    EXPECT_EQ(offline.lines, QStringList{QStringLiteral("服务器暂时不可用，沿用壁纸：") + file +
                                         QStringLiteral("（") + date + QStringLiteral("）")});
    EXPECT_EQ(desktop->calls.size(), 2u);

    // Without a usable record the fetch error is the outcome.
    QFile::remove(file);
    const Outcome nothing = refresh(origin);
    ASSERT_FALSE(nothing.status.ok());
    EXPECT_TRUE(nothing.status.error().description().startsWith(
        QStringLiteral("服务器返回错误（HTTP 0）：连接服务器失败：")));
    EXPECT_TRUE(nothing.lines.isEmpty());
}

TEST_F(Refresh, ADownloadFailureFailsEvenWithAnOlderRecord) {
    ASSERT_TRUE(refresh().status.ok());
    service->setTodayWallpaper(QStringLiteral("next.png"), QByteArray("\x89PNG\r\n\x1a\nnext", 12),
                               QStringLiteral("image/png"));
    service->setFault(QStringLiteral("/api/client/wallpaper/today"), {.wrongDigest = true});
    desktop->calls.clear();

    const Outcome failed = refresh();
    ASSERT_FALSE(failed.status.ok());
    EXPECT_EQ(failed.status.error().description(),
              QStringLiteral("壁纸文件校验失败，已保留当前桌面。"));
    EXPECT_TRUE(desktop->calls.empty());
    EXPECT_TRUE(failed.lines.isEmpty());
}

TEST_F(Refresh, AnotherOriginThanTheCredentialsIsRefusedBeforeAnyTraffic) {
    ASSERT_TRUE(refresh().status.ok());
    service->clearRequests();
    const Outcome refused = refresh(otherOrigin().origin());
    ASSERT_FALSE(refused.status.ok());
    EXPECT_EQ(refused.status.error().description(),
              QStringLiteral("服务器地址无效：当前服务器与本机凭证不一致，请重新登记。"));
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(otherOrigin().requests().empty());
}

TEST_F(Refresh, WithoutScreensNothingIsRemembered) {
    desktop->screens.clear();
    const Outcome failed = refresh();
    ASSERT_FALSE(failed.status.ok());
    EXPECT_EQ(failed.status.error().description(), QStringLiteral("当前没有可用的显示器。"));
    EXPECT_FALSE(QFile::exists(paths.root() + QStringLiteral("/last-wallpaper.json")));
}

} // namespace
