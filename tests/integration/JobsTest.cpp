// The jobs the menu bar starts directly: saving today's copy, the refresh that falls back after
// a failed download, and a job that is gone before its answer arrives.
#include "ClientHarness.h"
#include "net/FileHasher.h"
#include "support/TestContext.h"
#include "usecases/EnsureCredential.h"
#include "usecases/RefreshJob.h"
#include "usecases/SaveTodayCopy.h"

#include <QFile>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace velmora;
using velmora::test::ServiceTest;

namespace {

class Jobs : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        run_.context.serverOverride = service->origin();
        EnsureCredential enrol(run_.context, EnsureCredential::Policy::Reuse, service->origin());
        const Result<ActivationState> credential =
            test::await<ActivationState>([&](auto done) { enrol.start(std::move(done)); });
        ASSERT_TRUE(credential.ok());
        client = clientForCredential(run_.context, *credential).value();
    }

    template <typename Job, typename Outcome> Outcome finish(Job &job) {
        std::optional<Outcome> outcome;
        job.start([&](Outcome result) { outcome.emplace(std::move(result)); });
        while (!outcome)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return *outcome;
    }

    SaveTodayResult save(const QString &directory) {
        SaveTodayCopy job(run_.context, *client, directory);
        return finish<SaveTodayCopy, SaveTodayResult>(job);
    }

    test::TestContext run_;
    std::unique_ptr<WallpaperAPIClient> client;
};

TEST_F(Jobs, SavingTodayKeepsTheDesktopReusesAnIdenticalCopyAndNamesTheFailedStep) {
    const QString folder = run_.temp.path(QStringLiteral("图片"));
    const SaveTodayResult saved = save(folder);
    ASSERT_TRUE(saved.savedPath) << saved.error->description().toStdString();
    const dev::WallpaperInfo today = service->todayWallpaper();
    EXPECT_EQ(QFileInfo(*saved.savedPath).absolutePath(), folder);
    EXPECT_EQ(FileHasher::sha256(*saved.savedPath).value(), today.sha256);
    EXPECT_TRUE(run_.desktop->calls.empty());
    EXPECT_FALSE(QFile::exists(run_.context.paths.lastWallpaperRecord()));

    // The download made for saving stays in the cache, and the same copy is found again.
    service->clearRequests();
    EXPECT_EQ(save(folder).savedPath, saved.savedPath);
    EXPECT_EQ(service->requests().size(), 1u);

    failTodaysDownloadCheck();
    const SaveTodayResult failed = save(folder);
    EXPECT_EQ(failed.failedStage, SaveTodayResult::Stage::Download);
    EXPECT_EQ(failed.error->description(), QStringLiteral("壁纸文件校验失败，已保留当前桌面。"));
}

TEST_F(Jobs, TheMenuBarRefreshFallsBackAfterAFailedDownload) {
    RefreshJob first(run_.context, *client);
    ASSERT_TRUE((finish<RefreshJob, RefreshResult>(first).shown));
    const QString file = run_.desktop->calls.front().file;
    failTodaysDownloadCheck();
    run_.desktop->calls.clear();

    RefreshJob job(run_.context, *client, RefreshOptions{.fallBackAfterDownloadFailure = true});
    const RefreshResult result = finish<RefreshJob, RefreshResult>(job);
    ASSERT_TRUE(result.serviceFailure && result.shown);
    EXPECT_EQ(result.serviceFailure->stage, RefreshResult::Stage::Download);
    EXPECT_EQ(result.shown->file, file);
    EXPECT_FALSE(result.shown->today);
    EXPECT_EQ(run_.desktop->calls.size(), 2u);
}

TEST_F(Jobs, AJobDestroyedBeforeItsAnswerReportsNothing) {
    service->setFault(test::kTodayPath, {.delayMs = 200});
    bool reported = false;
    {
        RefreshJob job(run_.context, *client);
        job.start([&](RefreshResult) { reported = true; });
    }
    test::pumpUntil([] { return false; }, 600); // time for a stray answer to show
    EXPECT_FALSE(reported);
    EXPECT_TRUE(run_.desktop->calls.empty());
}

// What the service sends as today's date is printed and logged: it arrives without escape
// sequences or reordering marks. A refused download leaves no folder behind.
TEST_F(Jobs, AHostileDescriptorIsCleanedAndAFailedDownloadLeavesNoFolder) {
    const dev::WallpaperInfo today = service->todayWallpaper();
    const WallpaperMetadata descriptor{
        today.id,          QStringLiteral("\u001b]0;x\u0007 2026-12-06\u202E\r"),
        today.fileName,    today.contentType,
        today.length,      today.sha256,
        today.downloadPath};
    service->setFault(test::kTodayPath, {.body = encodeJson(descriptor.toJson())});
    RefreshJob job(run_.context, *client);
    const RefreshResult result = finish<RefreshJob, RefreshResult>(job);
    ASSERT_TRUE(result.shown);
    EXPECT_EQ(result.shown->date, QStringLiteral("]0;x 2026-12-06"));

    const QString folder = run_.temp.path(QStringLiteral("new"));
    service->setFault(today.downloadPath, {.status = 500});
    EXPECT_FALSE(test::await<QString>([&](auto done) {
                     client->download(today.downloadPath, today.sha256, folder + "/x.jpg", done);
                 }).ok());
    EXPECT_FALSE(QFileInfo::exists(folder));
}

} // namespace
