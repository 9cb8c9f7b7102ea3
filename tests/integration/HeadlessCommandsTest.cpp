// The headless commands in-process, as the entry runs them: the embedded service, the real
// cache, credential and agent files, a desktop that records what it was asked to show, and the
// exit status with the exact standard output and standard error.
#include "ClientHarness.h"
#include "app/RunCommand.h"
#include "net/FileHasher.h"
#include "support/TestContext.h"
#include "usecases/RefreshJob.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

class Commands : public test::ServiceTest {
protected:
    // "status|stdout|stderr" of one command, run the way the entry runs it.
    QString run(ClientMode mode, std::optional<QString> server = std::nullopt) {
        run_.clearOutput();
        if (server)
            run_.context.serverOverride = server;
        CommandLineOptions options{mode, std::nullopt, std::nullopt, ticket};
        const int status = runCommand(options, run_.context);
        return u"%1|%2|%3"_s.arg(status).arg(run_.out(), run_.err());
    }

    QStringList requestPaths() const {
        QStringList paths;
        for (const dev::RecordedRequest &request : service->requests())
            paths << request.path;
        return paths;
    }

    std::optional<ActivationState> stored() const {
        return run_.context.credentials->load().value();
    }

    QString credentialLines() const {
        const ActivationState credential = stored().value();
        return u"server=%1\ndevice=%2\ndeviceId=%3…\n"_s.arg(
            credential.serverBaseURL, credential.deviceName, credential.deviceId.left(12));
    }

    const ClientPaths &paths() const { return run_.context.paths; }
    std::vector<test::FakeDesktop::Call> &calls() { return run_.desktop->calls; }
    QString applied(const QString &line, const QString &date) {
        return u"0|%1%2（%3）\n|"_s.arg(line, calls().front().file, date);
    }

    test::TestContext run_;
    std::optional<QString> ticket;
    const QString today = test::kTodayPath;
};

TEST_F(Commands, RefreshEnrolsVerifiesSetsEveryScreenRemembersAndThenUsesTheCache) {
    // The date the service sends is printed: it arrives without escape sequences or reordering
    // marks.
    const dev::WallpaperInfo w = service->todayWallpaper();
    const WallpaperMetadata descriptor{w.id,          u"\u001b]0;x\u0007 2026-12-06\u202E\r"_s,
                                       w.fileName,    w.contentType,
                                       w.length,      w.sha256,
                                       w.downloadPath};
    service->setFault(today, {.body = encodeJson(descriptor.toJson())});
    const QString first = run(ClientMode::Refresh, service->origin());
    EXPECT_EQ(first, applied(u"已设置壁纸："_s, u"]0;x 2026-12-06"_s));
    ASSERT_EQ(calls().size(), 2u);
    const QString file = calls().front().file;
    EXPECT_EQ(QFileInfo(file).absolutePath() + u' ' + FileHasher::sha256(file).value(),
              paths().wallpapers() + u' ' + w.sha256);
    EXPECT_FALSE(calls().front().options.allowClipping);
    EXPECT_EQ(requestPaths(), (QStringList{u"/api/client/register"_s, today, w.downloadPath}));

    // A warm cache: no download, and the display mode is read at the moment of applying.
    DisplayMode(DisplayMode::Fill).save(run_.context.defaults);
    service->clearRequests();
    calls().clear();
    EXPECT_TRUE(run(ClientMode::Refresh).startsWith(u"0|"));
    EXPECT_EQ(requestPaths(), QStringList{today});
    EXPECT_TRUE(calls().front().options.allowClipping);

    // A cached file that no longer has the digest is downloaded again.
    ASSERT_TRUE(test::writeFile(file, "tampered"));
    EXPECT_TRUE(run(ClientMode::Refresh).startsWith(u"0|"));
    EXPECT_EQ(FileHasher::sha256(file).value(), w.sha256);
}

TEST_F(Commands, OfflineTheLastVerifiedWallpaperReturnsButADownloadFailureFails) {
    EXPECT_TRUE(run(ClientMode::Refresh, service->origin()).startsWith(u"0|"));
    const QString file = calls().front().file;
    const QByteArray record = test::readAll(paths().lastWallpaperRecord());

    // A download that fails its check fails the command even with an older record.
    failTodaysDownloadCheck();
    calls().clear();
    EXPECT_EQ(run(ClientMode::Refresh), u"1||错误：壁纸文件校验失败，已保留当前桌面。\n"_s);
    EXPECT_TRUE(calls().empty());

    // Unreachable: the recorded wallpaper goes back on every screen, and nothing is written.
    const QString date = service->todayWallpaper().effectiveDate;
    service->stop();
    const QString offline = run(ClientMode::Refresh);
    EXPECT_EQ(offline, applied(u"服务器暂时不可用，沿用壁纸："_s, date));
    EXPECT_EQ(calls().front().file, file);
    EXPECT_EQ(test::readAll(paths().lastWallpaperRecord()), record);

    // Without a usable record the fetch error is the outcome.
    QFile::remove(file);
    EXPECT_TRUE(run(ClientMode::Refresh)
                    .startsWith(u"1||错误：服务器返回错误（HTTP 0）：连接服务器失败："_s));
}

TEST_F(Commands, RefreshRefusesAnotherOriginAndADesktopWithoutScreensRemembersNothing) {
    EXPECT_TRUE(run(ClientMode::Register, service->origin()).startsWith(u"0|"));
    service->clearRequests();
    EXPECT_EQ(run(ClientMode::Refresh, otherOrigin().origin()),
              u"1||错误：服务器地址无效：当前服务器与本机凭证不一致，请重新登记。\n"_s);
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(otherOrigin().requests().empty());

    run_.desktop->screens.clear();
    EXPECT_EQ(run(ClientMode::Refresh, service->origin()), u"1||错误：当前没有可用的显示器。\n"_s);
    EXPECT_FALSE(QFile::exists(paths().lastWallpaperRecord()));
}

// A job may go while its request is in flight (the application quits): the answer reaches nobody.
TEST_F(Commands, ARefreshJobDestroyedBeforeItsAnswerReportsNothing) {
    const auto client = enrolledClient();
    service->setFault(today, {.delayMs = 200});
    bool reported = false;
    RefreshJob(run_.context, *client).start([&](RefreshResult) { reported = true; });
    test::pumpUntil([] { return false; }, 600); // time for a stray answer to show
    EXPECT_FALSE(reported);
    EXPECT_TRUE(calls().empty());
}

TEST_F(Commands, StatusRegisterClearAndTheStartupCommands) {
    const QString settings = u"startup=disabled\nautoUpdate=enabled\nnetwork=system\n"_s;
    EXPECT_EQ(run(ClientMode::Status), u"0|activated=no\n"_s + settings + u'|');
    EXPECT_EQ(run(ClientMode::StartupStatus), u"0|disabled\n|"_s);
    EXPECT_EQ(run(ClientMode::StartupDisable),
              u"1||错误：使用自定义 --app-data 时不会修改正式开机自动刷新服务。\n"_s);

    const QString registered = run(ClientMode::Register, service->origin());
    EXPECT_EQ(registered, u"0|registered=yes\n"_s + credentialLines() + u'|');
    EXPECT_EQ(run(ClientMode::Status),
              u"0|activated=yes\n"_s + settings + credentialLines() + u'|');

    // With a usable credential, enabling the agent sends nothing to the service.
    service->clearRequests();
    EXPECT_EQ(run(ClientMode::StartupEnable), u"0|已启用开机自动刷新\n|"_s);
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(run_.systemctlCalls().contains(u"--user enable --now"_s));

    // Clearing twice succeeds; a private data directory's clear leaves the agent alone.
    const QString agentCalls = run_.systemctlCalls();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(run(ClientMode::Clear), u"0|已清除本机服务凭证；下次运行会自动重新登记\n|"_s);
    EXPECT_FALSE(stored());
    EXPECT_EQ(run_.systemctlCalls(), agentCalls);
}

TEST_F(Commands, ActivateInviteStoresTheInviteCredentialWithAFreshKeyPerAttempt) {
    ticket = service->createInviteTicket();
    const QString activated = run(ClientMode::ActivateInvite, service->origin());
    EXPECT_EQ(activated, u"0|activated=yes\n"_s + credentialLines() + u'|');
    EXPECT_TRUE(service->isValidToken(stored()->token));

    // A spent ticket fails, but the fresh enrolment of that attempt is kept.
    QFile::remove(paths().activationFallback());
    const QString spent = run(ClientMode::ActivateInvite);
    EXPECT_TRUE(spent.startsWith(u"1||错误：服务器返回错误（HTTP "_s)) << spent.toStdString();
    EXPECT_FALSE(spent.contains(*ticket));
    EXPECT_TRUE(stored());

    QStringList keys;
    for (const dev::RecordedRequest &request : service->requests()) {
        if (request.path == u"/api/client/activate-by-invite")
            keys << QJsonDocument::fromJson(request.body)["idempotencyKey"].toString();
    }
    const QRegularExpression key(u"^[0-9A-F]{32}$"_s);
    ASSERT_EQ(keys.size(), 2);
    EXPECT_TRUE(key.match(keys[0]).hasMatch() && key.match(keys[1]).hasMatch())
        << keys.join(u' ').toStdString();
    EXPECT_NE(keys[0], keys[1]);
}

} // namespace
