// The service client against the real loopback service: what goes over the wire, what comes
// back, and what a hostile service can and cannot make the client do.
#include "ClientHarness.h"
#include "net/FileHasher.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

// Faults are written with designated initialisers naming only the fields that matter.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace velmora;
using velmora::test::await;
using velmora::test::describe;
using velmora::test::ServiceTest;
using velmora::test::TempDir;

namespace {

const QString kDeviceId =
    QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");

std::optional<dev::RecordedRequest> find(const std::vector<dev::RecordedRequest> &requests,
                                         const char *path) {
    for (const dev::RecordedRequest &request : requests) {
        if (request.path == QLatin1String(path))
            return request;
    }
    return std::nullopt;
}

class ClientCalls : public ServiceTest {};

TEST_F(ClientCalls, RegistrationSendsNoCredentialAndBuildsTheRecord) {
    auto client = makeClient();
    const Result<ActivationState> credential = await<ActivationState>(
        [&](auto done) { client->registerDevice(kDeviceId, QStringLiteral("测试机"), done); });
    ASSERT_TRUE(credential.ok()) << describe(credential.error()).toStdString();
    EXPECT_EQ(credential->serverBaseURL, service->origin());
    EXPECT_EQ(credential->deviceId, kDeviceId);
    EXPECT_EQ(credential->deviceName, QStringLiteral("测试机"));
    EXPECT_TRUE(service->isValidToken(credential->token));
    EXPECT_FALSE(credential->activatedAtUtc.isEmpty());

    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 1u);
    const dev::RecordedRequest &sent = requests.front();
    EXPECT_EQ(sent.method, QStringLiteral("POST"));
    EXPECT_EQ(sent.path, QStringLiteral("/api/client/register"));
    EXPECT_EQ(sent.headers.at(QStringLiteral("content-type")), QStringLiteral("application/json"));
    EXPECT_EQ(sent.headers.at(QStringLiteral("accept")), QStringLiteral("application/json"));
    EXPECT_EQ(sent.headers.at(QStringLiteral("user-agent")),
              QStringLiteral("velmora-macos-client/1.0"));
    EXPECT_EQ(sent.headers.count(QStringLiteral("authorization")), 0u);
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(),
              (QJsonObject{{QStringLiteral("deviceId"), kDeviceId},
                           {QStringLiteral("deviceName"), QStringLiteral("测试机")}}));
}

TEST_F(ClientCalls, TodayAndUpdateAreAuthenticatedGets) {
    auto client = enrolledClient();
    const Result<WallpaperMetadata> today =
        await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); });
    ASSERT_TRUE(today.ok()) << describe(today.error()).toStdString();
    EXPECT_EQ(today->sha256, service->todayWallpaper().sha256);

    const Result<SoftwareUpdate> update =
        await<SoftwareUpdate>([&](auto done) { client->fetchLatestUpdate(done); });
    ASSERT_TRUE(update.ok()) << describe(update.error()).toStdString();
    EXPECT_FALSE(update->isUpdateAvailable);
    const Result<SoftwareUpdate> odd = await<SoftwareUpdate>(
        [&](auto done) { client->fetchLatestUpdate(done, QStringLiteral("1.3.0 beta+1")); });
    ASSERT_TRUE(odd.ok());

    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 3u);
    const dev::RecordedRequest &get = requests[0];
    EXPECT_EQ(get.headers.at(QStringLiteral("authorization")),
              QStringLiteral("Bearer ") + client->activation()->token);
    EXPECT_EQ(get.headers.at(QStringLiteral("x-device-id")), kDeviceId);
    EXPECT_EQ(get.headers.count(QStringLiteral("content-type")), 0u);
    EXPECT_EQ(requests[1].path, QStringLiteral("/api/client/update/latest"));
    EXPECT_EQ(requests[1].query, QStringLiteral("currentVersion=1.3.0&platform=macos"));
    EXPECT_EQ(requests[2].query, QStringLiteral("currentVersion=1.3.0%20beta+1&platform=macos"));
}

TEST_F(ClientCalls, DownloadVerifiesAndReplacesAtomically) {
    auto client = enrolledClient();
    const dev::WallpaperInfo today = service->todayWallpaper();
    TempDir temp;
    const QString destination = temp.path(QStringLiteral("cache/today.jpg"));

    for (const QString &address : {today.downloadPath, today.downloadPath.mid(1)}) {
        const Result<QString> saved = await<QString>([&](auto done) {
            client->download(address, today.sha256.toUpper(), destination, done);
        });
        ASSERT_TRUE(saved.ok()) << describe(saved.error()).toStdString();
        EXPECT_EQ(*saved, destination);
        EXPECT_EQ(FileHasher::sha256(destination).value(), today.sha256);
    }
    EXPECT_EQ(QDir(temp.path(QStringLiteral("cache")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("today.jpg")});
    const auto requests = service->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().headers.at(QStringLiteral("authorization")),
              QStringLiteral("Bearer ") + client->activation()->token);
}

TEST_F(ClientCalls, AFailedDownloadLeavesThePreviousFileAndNoStagingFile) {
    auto client = enrolledClient();
    const dev::WallpaperInfo today = service->todayWallpaper();
    TempDir temp;
    const QString destination = temp.path(QStringLiteral("today.jpg"));
    ASSERT_TRUE(test::writeFile(destination, "previous wallpaper"));

    const Result<QString> mismatch = await<QString>([&](auto done) {
        client->download(today.downloadPath, QString(64, u'0'), destination, done);
    });
    ASSERT_FALSE(mismatch.ok());
    EXPECT_EQ(describe(mismatch.error()), QStringLiteral("壁纸文件校验失败，已保留当前桌面。"));

    service->setFault(today.downloadPath, {.truncateAfter = 1000});
    const Result<QString> truncated = await<QString>(
        [&](auto done) { client->download(today.downloadPath, today.sha256, destination, done); });
    ASSERT_FALSE(truncated.ok());
    EXPECT_TRUE(describe(truncated.error())
                    .startsWith(QStringLiteral("服务器返回错误（HTTP 0）：下载失败：")))
        << describe(truncated.error()).toStdString();

    service->setFault(today.downloadPath,
                      {.status = 404, .body = QByteArray(R"({"error":"文件不存在"})")});
    const Result<QString> notFound = await<QString>(
        [&](auto done) { client->download(today.downloadPath, today.sha256, destination, done); });
    ASSERT_FALSE(notFound.ok());
    EXPECT_EQ(describe(notFound.error()), QStringLiteral("服务器返回错误（HTTP 404）：文件不存在"));

    EXPECT_EQ(test::readAll(destination), QByteArray("previous wallpaper"));
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("today.jpg")});
}

TEST_F(ClientCalls, ConcurrentDownloadsToOneDestinationLeaveOneVerifiedFile) {
    auto first = enrolledClient();
    auto second = enrolledClient();
    const dev::WallpaperInfo today = service->todayWallpaper();
    TempDir temp;
    const QString destination = temp.path(QStringLiteral("today.jpg"));
    int finished = 0;
    std::vector<bool> ok;
    for (auto *client : {first.get(), second.get(), first.get(), second.get()}) {
        client->download(today.downloadPath, today.sha256, destination,
                         [&](const Result<QString> &result) {
                             ok.push_back(result.ok());
                             ++finished;
                         });
    }
    QElapsedTimer timer;
    timer.start();
    while (finished < 4 && timer.elapsed() < 20'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
    EXPECT_EQ(ok, std::vector<bool>(4, true));
    EXPECT_EQ(FileHasher::sha256(destination).value(), today.sha256);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("today.jpg")});
}

TEST_F(ClientCalls, EnrolmentAnswersNeedATokenAndATime) {
    auto client = makeClient();
    const auto answer = [&](const char *path, const char *body) {
        service->setFault(QString::fromLatin1(path),
                          dev::Fault{.status = 200, .body = QByteArray(body)});
    };
    answer("/api/client/register", R"({"token":"   ","activatedAtUtc":"2026-12-06T00:00:00Z"})");
    const auto blank = await<ActivationState>(
        [&](auto done) { client->registerDevice(kDeviceId, QStringLiteral("n"), done); });
    EXPECT_EQ(describe(blank.error()), QStringLiteral("服务器登记响应不完整。"));

    // Blanks around a real token are kept: the token is sent back exactly as issued.
    answer("/api/client/register", R"({"token":" t0k ","activatedAtUtc":"2026-12-06T00:00:00Z"})");
    const auto padded = await<ActivationState>(
        [&](auto done) { client->registerDevice(kDeviceId, QStringLiteral("n"), done); });
    ASSERT_TRUE(padded.ok());
    EXPECT_EQ(padded->token, QStringLiteral(" t0k "));

    answer("/api/client/activate-by-invite", R"({"token":"t","activatedAtUtc":""})");
    const auto invite = await<ActivationState>([&](auto done) {
        client->activateByInvite(service->createInviteTicket(), kDeviceId, QStringLiteral("n"),
                                 std::nullopt, nullptr, done);
    });
    EXPECT_EQ(describe(invite.error()), QStringLiteral("服务器激活响应不完整。"));
}

TEST_F(ClientCalls, InviteRedemptionEnrolsFirstAndStoresThroughTheCallback) {
    auto client = makeClient();
    const QString ticket = service->createInviteTicket();
    std::vector<ActivationState> stored;
    const auto store = [&](const ActivationState &credential) -> Status {
        stored.push_back(credential);
        return {};
    };
    const Result<ActivationState> activated = await<ActivationState>([&](auto done) {
        client->activateByInvite(QStringLiteral(" ") + ticket + QStringLiteral("\n"), kDeviceId,
                                 QStringLiteral("测试机"), QStringLiteral("  KEY-0123456789  "),
                                 store, done);
    });
    ASSERT_TRUE(activated.ok()) << describe(activated.error()).toStdString();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_NE(stored.front().token, activated->token);
    EXPECT_TRUE(service->isValidToken(activated->token));

    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, QStringLiteral("/api/client/register"));
    EXPECT_EQ(requests[1].path, QStringLiteral("/api/client/activate-by-invite"));
    EXPECT_EQ(requests[1].headers.at(QStringLiteral("authorization")),
              QStringLiteral("Bearer ") + stored.front().token);
    const QJsonObject body = QJsonDocument::fromJson(requests[1].body).object();
    EXPECT_EQ(body.value(QStringLiteral("handoffTicket")).toString(), ticket);
    EXPECT_EQ(body.value(QStringLiteral("idempotencyKey")).toString(),
              QStringLiteral("KEY-0123456789"));

    // The ticket is spent: a second redemption fails, yet the fresh enrolment was handed over.
    stored.clear();
    const Result<ActivationState> again = await<ActivationState>([&](auto done) {
        client->activateByInvite(ticket, kDeviceId, QStringLiteral("测试机"), std::nullopt, store,
                                 done);
    });
    ASSERT_FALSE(again.ok());
    EXPECT_TRUE(again.error().is(ClientError::Kind::Server));
    EXPECT_EQ(stored.size(), 1u);

    // A callback that cannot store the enrolment stops the invite from being sent.
    service->clearRequests();
    const Result<ActivationState> refused = await<ActivationState>([&](auto done) {
        client->activateByInvite(
            service->createInviteTicket(), kDeviceId, QStringLiteral("测试机"), std::nullopt,
            [](const ActivationState &) -> Status {
                return ClientError::fileSystem(QStringLiteral("写不进去。"));
            },
            done);
    });
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(describe(refused.error()), QStringLiteral("写不进去。"));
    EXPECT_FALSE(find(service->requests(), "/api/client/activate-by-invite"));
}

TEST_F(ClientCalls, PromotionLinkAndRewards) {
    auto client = enrolledClient();
    const Result<ClientPromotionLinkResponse> link =
        await<ClientPromotionLinkResponse>([&](auto done) { client->fetchPromotionLink(done); });
    ASSERT_TRUE(link.ok()) << describe(link.error()).toStdString();
    EXPECT_TRUE(link->link.startsWith(service->origin() + QStringLiteral("/r/")));

    const Result<ClientRewardStatusResponse> rewards =
        await<ClientRewardStatusResponse>([&](auto done) { client->fetchRewards(done); });
    ASSERT_TRUE(rewards.ok()) << describe(rewards.error()).toStdString();
    ASSERT_TRUE(rewards->campaignId);
    EXPECT_TRUE(rewards->shouldClaimBaseOnOpen());
    EXPECT_TRUE(rewards->redemptionQRData().has_value());

    const Result<ClientRewardStatusResponse> claimed = await<ClientRewardStatusResponse>(
        [&](auto done) { client->claimReward(*rewards->campaignId, RewardSource::Base, done); });
    ASSERT_TRUE(claimed.ok()) << describe(claimed.error()).toStdString();
    EXPECT_FALSE(claimed->shouldClaimBaseOnOpen());
    const std::optional<dev::RecordedRequest> claim =
        find(service->requests(), "/api/client/rewards/claim");
    ASSERT_TRUE(claim);
    EXPECT_EQ(
        QJsonDocument::fromJson(claim->body).object().value(QStringLiteral("source")).toString(),
        QStringLiteral("base"));
}

// One hostile or broken answer of the service and exactly what the caller gets.
struct HostileCase {
    const char *name;
    std::function<dev::Fault(ServiceTest &)> fault;
    const char *expected; // exact description, or a prefix ending in "…"
};

class HostileService : public ServiceTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_F(ClientCalls, RedirectsAreFollowedOnlyWithinTheOrigin) {
    auto client = enrolledClient();
    service->setFault(
        QStringLiteral("/api/client/rewards"),
        {.redirectTo = service->origin() + QStringLiteral("/api/client/wallpaper/today?moved=1")});
    // The rewards path now answers with today's wallpaper, which is not a rewards status.
    const auto rewards =
        await<ClientRewardStatusResponse>([&](auto done) { client->fetchRewards(done); });
    ASSERT_FALSE(rewards.ok());
    EXPECT_EQ(describe(rewards.error()), QStringLiteral("暂时无法读取红包活动信息，请稍后重试。"));
    const std::optional<dev::RecordedRequest> followed =
        find(service->requests(), "/api/client/wallpaper/today");
    ASSERT_TRUE(followed);
    EXPECT_EQ(followed->query, QStringLiteral("moved=1"));
    EXPECT_EQ(followed->headers.at(QStringLiteral("authorization")),
              QStringLiteral("Bearer ") + client->activation()->token);
}

TEST_F(ClientCalls, DownloadAddressesOffTheOriginAreRefusedBeforeAnyRequest) {
    auto client = enrolledClient();
    const QString path = service->todayWallpaper().downloadPath;
    TempDir temp;
    const QString foreign = otherOrigin().origin();
    const QString refusal =
        QStringLiteral("服务器返回的下载地址与激活服务器不一致，已拒绝发送凭证。");
    for (const QString &address :
         {foreign + path, QStringLiteral("//") + foreign.mid(7) + path,
          service->origin().replace(QStringLiteral("http:"), QStringLiteral("https:")) + path,
          service->origin().replace(QStringLiteral("//"), QStringLiteral("//user:pw@")) + path,
          QStringLiteral("http://[::1")}) {
        const Result<QString> refused = await<QString>([&](auto done) {
            client->download(address, std::nullopt, temp.path(QStringLiteral("x.jpg")), done);
        });
        ASSERT_FALSE(refused.ok()) << address.toStdString();
        EXPECT_EQ(describe(refused.error()), refusal) << address.toStdString();
    }
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(otherOrigin().requests().empty());
    EXPECT_TRUE(QDir(temp.path()).isEmpty());
}

TEST_F(ClientCalls, ADeadSystemProxyFailsWithTheHintWhileDirectGetsThrough) {
    auto system = enrolledClient(NetworkProxyMode::System);
    auto direct = enrolledClient(NetworkProxyMode::Direct);
    // Nothing listens on port 9 of the loopback: a proxy that has gone away.
    qputenv("http_proxy", "http://127.0.0.1:9");
    qputenv("https_proxy", "http://127.0.0.1:9");
    qunsetenv("no_proxy");
    const Result<WallpaperMetadata> viaProxy =
        await<WallpaperMetadata>([&](auto done) { system->fetchToday(done); });
    const Result<WallpaperMetadata> straight =
        await<WallpaperMetadata>([&](auto done) { direct->fetchToday(done); });
    qunsetenv("http_proxy");
    qunsetenv("https_proxy");
    EXPECT_TRUE(straight.ok());
    ASSERT_FALSE(viaProxy.ok());
    EXPECT_TRUE(describe(viaProxy.error())
                    .startsWith(QStringLiteral("服务器返回错误（HTTP 0）：连接服务器失败：")));
    EXPECT_TRUE(
        describe(viaProxy.error())
            .endsWith(QStringLiteral("。当前为“跟随系统代理”；若代理程序已退出但系统仍残留代理，请"
                                     "在菜单栏“网络连接”中切换为“直连（忽略系统代理）”后重试。")));
}

dev::Fault status(int code, const char *body, const char *type = "application/json") {
    return {.status = code, .body = QByteArray(body), .contentType = type};
}

dev::Fault redirect(const QString &target) {
    return {.redirectTo = target};
}

TEST_P(HostileService, TodayGetsTheExactError) {
    auto client = enrolledClient();
    service->setFault(QStringLiteral("/api/client/wallpaper/today"), GetParam().fault(*this));
    const Result<WallpaperMetadata> today =
        await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); });
    ASSERT_FALSE(today.ok());
    QString expected = QString::fromUtf8(GetParam().expected);
    if (expected.endsWith(u'…'))
        EXPECT_TRUE(describe(today.error()).startsWith(expected.chopped(1)))
            << describe(today.error()).toStdString();
    else
        EXPECT_EQ(describe(today.error()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileService,
    ::testing::Values(
        HostileCase{"redirectToForeignHost",
                    [](ServiceTest &) {
                        return redirect(
                            QStringLiteral("https://evil.invalid/api/client/wallpaper/today"));
                    },
                    "服务器返回错误（HTTP 302）："},
        HostileCase{"redirectToOtherPort",
                    [](ServiceTest &test) {
                        return redirect(test.otherOrigin().origin() +
                                        QStringLiteral("/api/client/wallpaper/today"));
                    },
                    "服务器返回错误（HTTP 302）："},
        HostileCase{
            "redirectToUserInfo",
            [](ServiceTest &) { return redirect(QStringLiteral("http://user@127.0.0.1/x")); },
            "服务器返回错误（HTTP 302）："},
        HostileCase{"status401",
                    [](ServiceTest &) { return status(401, R"({"error":"令牌无效"})"); },
                    "服务器返回错误（HTTP 401）：令牌无效"},
        HostileCase{"status403", [](ServiceTest &) { return status(403, R"({"error":""})"); },
                    R"(服务器返回错误（HTTP 403）：{"error":""})"},
        HostileCase{"status404",
                    [](ServiceTest &) { return status(404, "  not here \n", "text/plain"); },
                    "服务器返回错误（HTTP 404）：not here"},
        HostileCase{"status410", [](ServiceTest &) { return status(410, ""); },
                    "服务器返回错误（HTTP 410）："},
        HostileCase{"nonJson",
                    [](ServiceTest &) { return status(200, "<html>hello</html>", "text/html"); },
                    "数据不是有效的 JSON…"},
        HostileCase{
            "incompleteDescriptor",
            [](ServiceTest &) {
                return status(
                    200,
                    R"({"id":0,"effectiveDate":"","fileName":"a.jpg","contentType":"","length":0,"sha256":"0000000000000000000000000000000000000000000000000000000000000000","downloadUrl":"/x"})");
            },
            "服务器壁纸响应不完整。"},
        HostileCase{"oversizeBody",
                    [](ServiceTest &) {
                        // Incompressible, so no transfer encoding can shrink it on the wire.
                        QByteArray noise(17 * 1024 * 1024, 'a');
                        quint32 state = 1;
                        for (char &c : noise)
                            c = char('a' + ((state = state * 1664525u + 1013904223u) >> 27));
                        return status(200, noise.constData());
                    },
                    "服务器响应过大，已停止接收。"},
        HostileCase{"truncatedBody", [](ServiceTest &) { return dev::Fault{.truncateAfter = 10}; },
                    "服务器返回错误（HTTP 0）：连接服务器失败：…"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
