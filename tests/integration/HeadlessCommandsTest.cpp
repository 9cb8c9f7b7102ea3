// The headless commands in-process, as the entry runs them: the embedded service, the real
// cache, credential and agent files, a desktop that records what it was asked to show, and the
// exact lines on standard output and standard error with the exit status.
#include "ClientHarness.h"
#include "app/RunCommand.h"
#include "net/FileHasher.h"
#include "support/TestContext.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace velmora;
using velmora::test::ServiceTest;

namespace {

class Commands : public ServiceTest {
protected:
    // Runs one command word (plus arguments) the way the entry does.
    int run(ClientMode mode, std::optional<QString> server = std::nullopt) {
        run_.clearOutput();
        if (server)
            run_.context.serverOverride = server;
        CommandLineOptions options;
        options.mode = mode;
        options.handoffTicket = ticket;
        return runCommand(options, run_.context);
    }

    QStringList requestPaths() const {
        QStringList paths;
        for (const dev::RecordedRequest &request : service->requests())
            paths << request.path;
        return paths;
    }

    std::optional<ActivationState> stored() const {
        const auto loaded = run_.context.credentials->load();
        return loaded.ok() ? *loaded : std::nullopt;
    }

    QString credentialLines(const ActivationState &credential) const {
        return QStringLiteral("server=%1\ndevice=%2\ndeviceId=%3…\n")
            .arg(credential.serverBaseURL, credential.deviceName, credential.deviceId.left(12));
    }

    const ClientPaths &paths() const { return run_.context.paths; }
    std::vector<test::FakeDesktop::Call> &calls() { return run_.desktop->calls; }

    test::TestContext run_;
    std::optional<QString> ticket;
};

TEST_F(Commands, RefreshEnrolsVerifiesSetsEveryScreenRemembersAndThenUsesTheCache) {
    ASSERT_EQ(run(ClientMode::Refresh, service->origin()), 0) << run_.err().toStdString();
    const dev::WallpaperInfo today = service->todayWallpaper();
    ASSERT_EQ(calls().size(), 2u);
    const QString file = calls().front().file;
    EXPECT_EQ(run_.out(), QStringLiteral("已设置壁纸：%1（%2）\n").arg(file, today.effectiveDate));
    EXPECT_EQ(QFileInfo(file).absolutePath(), paths().wallpapers());
    EXPECT_EQ(FileHasher::sha256(file).value(), today.sha256);
    EXPECT_FALSE(calls().front().options.allowClipping);
    EXPECT_EQ(requestPaths(),
              (QStringList{QStringLiteral("/api/client/register"),
                           QStringLiteral("/api/client/wallpaper/today"), today.downloadPath}));
    ASSERT_TRUE(stored());
    EXPECT_TRUE(service->isValidToken(stored()->token));
    EXPECT_TRUE(QFile::exists(paths().lastWallpaperRecord()));

    // A warm cache: no download, and the display mode is read at the moment of applying.
    DisplayMode(DisplayMode::Fill).save(run_.context.defaults);
    service->clearRequests();
    calls().clear();
    ASSERT_EQ(run(ClientMode::Refresh), 0);
    EXPECT_EQ(requestPaths(), QStringList{QStringLiteral("/api/client/wallpaper/today")});
    EXPECT_TRUE(calls().front().options.allowClipping);

    // A cached file that no longer has the digest is downloaded again.
    ASSERT_TRUE(test::writeFile(file, "tampered"));
    service->clearRequests();
    ASSERT_EQ(run(ClientMode::Refresh), 0);
    EXPECT_EQ(requestPaths().size(), 2u);
    EXPECT_EQ(FileHasher::sha256(file).value(), today.sha256);
}

TEST_F(Commands, AnUnreachableServiceFallsBackToTheLastVerifiedWallpaperWithoutWriting) {
    ASSERT_EQ(run(ClientMode::Refresh, service->origin()), 0);
    const QString file = calls().front().file;
    const QString date = service->todayWallpaper().effectiveDate;
    const QByteArray record = test::readAll(paths().lastWallpaperRecord());
    service->stop();
    calls().clear();

    ASSERT_EQ(run(ClientMode::Refresh), 0) << run_.err().toStdString();
    EXPECT_EQ(run_.out(), QStringLiteral("服务器暂时不可用，沿用壁纸：%1（%2）\n").arg(file, date));
    EXPECT_EQ(calls().size(), 2u);
    EXPECT_EQ(test::readAll(paths().lastWallpaperRecord()), record);

    // Without a usable record the fetch error is the outcome.
    QFile::remove(file);
    EXPECT_EQ(run(ClientMode::Refresh), 1);
    EXPECT_EQ(run_.out(), QString());
    EXPECT_TRUE(
        run_.err().startsWith(QStringLiteral("错误：服务器返回错误（HTTP 0）：连接服务器失败：")));
}

TEST_F(Commands, ADownloadFailureFailsEvenWithAnOlderRecordAndTheDesktopStays) {
    ASSERT_EQ(run(ClientMode::Refresh, service->origin()), 0);
    service->setTodayWallpaper(QStringLiteral("next.png"), QByteArray("\x89PNG\r\n\x1a\nnext", 12),
                               QStringLiteral("image/png"));
    service->setFault(QStringLiteral("/api/client/wallpaper/today"), {.wrongDigest = true});
    calls().clear();

    EXPECT_EQ(run(ClientMode::Refresh), 1);
    EXPECT_EQ(run_.err(), QStringLiteral("错误：壁纸文件校验失败，已保留当前桌面。\n"));
    EXPECT_TRUE(calls().empty());
}

TEST_F(Commands, RefreshRefusesAnotherOriginAndADesktopWithoutScreensRemembersNothing) {
    ASSERT_EQ(run(ClientMode::Register, service->origin()), 0);
    service->clearRequests();
    EXPECT_EQ(run(ClientMode::Refresh, otherOrigin().origin()), 1);
    EXPECT_EQ(run_.out(), QString());
    EXPECT_EQ(run_.err(),
              QStringLiteral("错误：服务器地址无效：当前服务器与本机凭证不一致，请重新登记。\n"));
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(otherOrigin().requests().empty());

    run_.desktop->screens.clear();
    EXPECT_EQ(run(ClientMode::Refresh, service->origin()), 1);
    EXPECT_EQ(run_.err(), QStringLiteral("错误：当前没有可用的显示器。\n"));
    EXPECT_FALSE(QFile::exists(paths().lastWallpaperRecord()));
}

TEST_F(Commands, StatusRegisterClearAndTheStartupCommands) {
    EXPECT_EQ(run(ClientMode::Status), 0);
    EXPECT_EQ(
        run_.out(),
        QStringLiteral("activated=no\nstartup=disabled\nautoUpdate=enabled\nnetwork=system\n"));
    EXPECT_EQ(run(ClientMode::StartupStatus), 0);
    EXPECT_EQ(run_.out(), QStringLiteral("disabled\n"));
    EXPECT_EQ(run(ClientMode::StartupDisable), 1);
    EXPECT_EQ(run_.err(),
              QStringLiteral("错误：使用自定义 --app-data 时不会修改正式 LaunchAgent。\n"));

    ASSERT_EQ(run(ClientMode::Register, service->origin()), 0) << run_.err().toStdString();
    const std::optional<ActivationState> credential = stored();
    ASSERT_TRUE(credential);
    EXPECT_EQ(run_.out(), QStringLiteral("registered=yes\n") + credentialLines(*credential));
    EXPECT_EQ(run(ClientMode::Status), 0);
    EXPECT_EQ(
        run_.out(),
        QStringLiteral("activated=yes\nstartup=disabled\nautoUpdate=enabled\nnetwork=system\n") +
            credentialLines(*credential));
    EXPECT_FALSE(run_.out().contains(credential->token));

    // With a usable credential, enabling the agent sends nothing to the service.
    service->clearRequests();
    EXPECT_EQ(run(ClientMode::StartupEnable), 0) << run_.err().toStdString();
    EXPECT_EQ(run_.out(), QStringLiteral("已启用开机自动刷新\n"));
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(run_.systemctlCalls().contains(QStringLiteral("--user enable --now")));

    // Clearing twice succeeds; a private data directory's clear leaves the agent alone.
    const QString agentCalls = run_.systemctlCalls();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(run(ClientMode::Clear), 0);
        EXPECT_EQ(run_.out(), QStringLiteral("已清除本机服务凭证；下次运行会自动重新登记\n"));
    }
    EXPECT_FALSE(stored());
    EXPECT_EQ(run_.systemctlCalls(), agentCalls);
}

TEST_F(Commands, ActivateInviteStoresTheInviteCredentialWithAFreshKeyPerAttempt) {
    ticket = service->createInviteTicket();
    ASSERT_EQ(run(ClientMode::ActivateInvite, service->origin()), 0) << run_.err().toStdString();
    const std::optional<ActivationState> credential = stored();
    ASSERT_TRUE(credential);
    EXPECT_EQ(run_.out(), QStringLiteral("activated=yes\n") + credentialLines(*credential));
    EXPECT_TRUE(service->isValidToken(credential->token));

    // A spent ticket fails, but the fresh enrolment of that attempt is kept.
    QFile::remove(paths().activationFallback());
    EXPECT_EQ(run(ClientMode::ActivateInvite), 1);
    EXPECT_TRUE(run_.err().startsWith(QStringLiteral("错误：服务器返回错误（HTTP ")));
    EXPECT_FALSE(run_.err().contains(*ticket));
    EXPECT_TRUE(stored());

    QStringList keys;
    for (const dev::RecordedRequest &request : service->requests()) {
        if (request.path == u"/api/client/activate-by-invite")
            keys << QJsonDocument::fromJson(request.body)
                        .object()
                        .value(QStringLiteral("idempotencyKey"))
                        .toString();
    }
    ASSERT_EQ(keys.size(), 2);
    const QRegularExpression key(QStringLiteral("^[0-9A-F]{32}$"));
    EXPECT_TRUE(key.match(keys[0]).hasMatch()) << keys[0].toStdString();
    EXPECT_TRUE(key.match(keys[1]).hasMatch()) << keys[1].toStdString();
    EXPECT_NE(keys[0], keys[1]);
}

} // namespace
