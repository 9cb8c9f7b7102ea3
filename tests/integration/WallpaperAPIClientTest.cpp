// The service client against the real loopback service: what goes over the wire, what comes
// back, and what a hostile service can and cannot make the client do.
#include "ClientHarness.h"
#include "net/FileHasher.h"
#include "support/TempDir.h"

#include <QDir>
#include <QJsonDocument>

// Faults are written with designated initialisers naming only the fields that matter.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace velmora;
using velmora::test::await;
using velmora::test::describe;
using velmora::test::ServiceTest;
using velmora::test::TempDir;

namespace {

const QString kDeviceId = QString(64, u'd');
const QString kToday = QStringLiteral("/api/client/wallpaper/today");

std::optional<dev::RecordedRequest> find(const std::vector<dev::RecordedRequest> &requests,
                                         const char *path) {
    for (const dev::RecordedRequest &request : requests) {
        if (request.path == QLatin1String(path))
            return request;
    }
    return std::nullopt;
}

// The header as sent, or a null string when it was not.
QString header(const dev::RecordedRequest &request, const char *name) {
    const auto found = request.headers.find(QString::fromLatin1(name));
    return found == request.headers.end() ? QString() : found->second;
}

QString field(const dev::RecordedRequest &request, const char *name) {
    return QJsonDocument::fromJson(request.body).object().value(QLatin1String(name)).toString();
}

// Everything in `directory`, hidden staging files included.
QStringList entries(const QString &directory) {
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// `expected` is the exact description, or its beginning and end around a "…".
void expectDescription(const std::optional<Error> &error, const char *expected) {
    ASSERT_TRUE(error) << "the call succeeded";
    const QStringList parts = QString::fromUtf8(expected).split(u'…');
    const QString text = describe(*error);
    EXPECT_TRUE(parts.size() == 1 ? text == parts.front()
                                  : text.startsWith(parts.front()) && text.endsWith(parts.back()))
        << text.toStdString();
}

dev::Fault status(int code, const QByteArray &body, const char *type = "application/json") {
    return {.status = code, .body = body, .contentType = type};
}

class ClientCalls : public ServiceTest {};

TEST_F(ClientCalls, OnlyEnrolmentGoesWithoutTheCredential) {
    auto client = makeClient();
    const Result<ActivationState> credential = await<ActivationState>(
        [&](auto done) { client->registerDevice(kDeviceId, QStringLiteral("测试机"), done); });
    ASSERT_TRUE(credential.ok()) << describe(credential.error()).toStdString();
    EXPECT_EQ(credential->serverBaseURL, service->origin());
    EXPECT_TRUE(service->isValidToken(credential->token));
    client->useActivation(*credential);
    ASSERT_TRUE(await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); }).ok());
    ASSERT_TRUE(await<SoftwareUpdate>([&](auto done) {
                    client->fetchLatestUpdate(done, QStringLiteral("1.3.0 beta+1"));
                }).ok());

    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const dev::RecordedRequest &sent : requests) {
        EXPECT_EQ(header(sent, "accept"), QStringLiteral("application/json"));
        EXPECT_EQ(header(sent, "user-agent"), QStringLiteral("velmora-macos-client/1.0"));
    }
    const dev::RecordedRequest &enrol = requests[0];
    EXPECT_EQ(enrol.method + enrol.path, QStringLiteral("POST/api/client/register"));
    EXPECT_EQ(header(enrol, "content-type"), QStringLiteral("application/json"));
    EXPECT_EQ(header(enrol, "authorization"), QString());
    EXPECT_EQ(field(enrol, "deviceId") + field(enrol, "deviceName"), kDeviceId + "测试机");
    EXPECT_EQ(header(requests[1], "authorization"), "Bearer " + credential->token);
    EXPECT_EQ(header(requests[1], "x-device-id"), kDeviceId);
    EXPECT_EQ(header(requests[1], "content-type"), QString());
    EXPECT_EQ(requests[2].query, QStringLiteral("currentVersion=1.3.0%20beta+1&platform=macos"));
}

TEST_F(ClientCalls, DownloadsReplaceTheFileOnlyWholeAndVerified) {
    auto first = enrolledClient();
    auto second = enrolledClient();
    const dev::WallpaperInfo today = service->todayWallpaper();
    TempDir temp;
    const QString destination = temp.path(QStringLiteral("cache/today.jpg"));
    // Absolute and relative addresses, a digest in capitals, two clients racing for one file.
    std::vector<QString> outcomes;
    for (auto *client : {first.get(), second.get()}) {
        for (const QString &address : {today.downloadPath, today.downloadPath.mid(1)}) {
            client->download(address, today.sha256.toUpper(), destination,
                             [&](const Result<QString> &saved) {
                                 outcomes.push_back(saved ? *saved : describe(saved.error()));
                             });
        }
    }
    ASSERT_TRUE(test::pumpUntil([&] { return outcomes.size() == 4; }));
    EXPECT_EQ(outcomes, std::vector<QString>(4, destination));
    EXPECT_EQ(FileHasher::sha256(destination).value(), today.sha256);
    EXPECT_EQ(entries(temp.path(QStringLiteral("cache"))),
              QStringList{QStringLiteral("today.jpg")});
}

TEST_F(ClientCalls, AClientDestroyedMidDownloadCompletesNothingAndKeepsThePreviousFile) {
    auto client = enrolledClient();
    const dev::WallpaperInfo today = service->todayWallpaper();
    service->setFault(today.downloadPath, {.stallAfter = 4096});
    TempDir temp;
    const QString destination = temp.path(QStringLiteral("today.jpg"));
    ASSERT_TRUE(test::writeFile(destination, "previous wallpaper"));
    bool completed = false;
    client->download(today.downloadPath, today.sha256, destination,
                     [&](const Result<QString> &) { completed = true; });
    ASSERT_TRUE(test::pumpUntil([&] {
        const QFileInfoList files = QDir(temp.path()).entryInfoList(QDir::Files | QDir::Hidden);
        return files.size() == 2 && files.front().size() == 4096; // the hidden one sorts first
    }));

    client.reset();
    test::pumpUntil([] { return false; }, 300);
    EXPECT_FALSE(completed);
    EXPECT_EQ(test::readAll(destination), QByteArray("previous wallpaper"));
    EXPECT_EQ(entries(temp.path()), QStringList{QStringLiteral("today.jpg")});
}

TEST_F(ClientCalls, DownloadAddressesOffTheOriginAreRefusedBeforeAnyRequest) {
    auto client = enrolledClient();
    const QString path = service->todayWallpaper().downloadPath;
    TempDir temp;
    const QString foreign = otherOrigin().origin();
    for (const QString &address :
         {foreign + path, QStringLiteral("//") + foreign.mid(7) + path,
          service->origin().replace(QStringLiteral("http:"), QStringLiteral("https:")) + path,
          service->origin().replace(QStringLiteral("//"), QStringLiteral("//user:pw@")) + path,
          QStringLiteral("http://[::1")}) {
        expectDescription(test::failure(await<QString>([&](auto done) {
                              client->download(address, std::nullopt,
                                               temp.path(QStringLiteral("x.jpg")), done);
                          })),
                          "服务器返回的下载地址与激活服务器不一致，已拒绝发送凭证。");
    }
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(otherOrigin().requests().empty());
    EXPECT_TRUE(entries(temp.path()).isEmpty());
}

TEST_F(ClientCalls, EnrolmentAnswersNeedATokenAndATimeButKeepTheTokenAsIssued) {
    auto client = makeClient();
    const auto enrolWith = [&](const char *body) {
        service->setFault(QStringLiteral("/api/client/register"), status(200, body));
        return await<ActivationState>(
            [&](auto done) { client->registerDevice(kDeviceId, QStringLiteral("n"), done); });
    };
    expectDescription(
        test::failure(enrolWith(R"({"token":"   ","activatedAtUtc":"2026-12-06T00:00:00Z"})")),
        "服务器登记响应不完整。");
    // A line break would add a header of the service's choosing to every later request.
    expectDescription(
        test::failure(
            enrolWith(R"({"token":"abc\r\nX-Evil: 1","activatedAtUtc":"2026-12-06T00:00:00Z"})")),
        "服务器登记响应不完整。");
    EXPECT_EQ(enrolWith(R"({"token":" t0k ","activatedAtUtc":"2026-12-06T00:00:00Z"})")->token,
              QStringLiteral(" t0k "));

    service->setFault(QStringLiteral("/api/client/activate-by-invite"),
                      status(200, R"({"token":"t","activatedAtUtc":""})"));
    expectDescription(test::failure(await<ActivationState>([&](auto done) {
                          client->activateByInvite(service->createInviteTicket(), kDeviceId,
                                                   QStringLiteral("n"), std::nullopt, nullptr,
                                                   done);
                      })),
                      "服务器激活响应不完整。");
}

TEST_F(ClientCalls, InviteRedemptionEnrolsFirstAndStoresThroughTheCallback) {
    auto client = makeClient();
    const QString ticket = service->createInviteTicket();
    std::vector<ActivationState> stored;
    const Result<ActivationState> activated = await<ActivationState>([&](auto done) {
        client->activateByInvite(
            " " + ticket + "\n", kDeviceId, QStringLiteral("测试机"),
            QStringLiteral("  KEY-0123456789  "),
            [&](const ActivationState &credential) -> Status {
                stored.push_back(credential);
                return {};
            },
            done);
    });
    ASSERT_TRUE(activated.ok()) << describe(activated.error()).toStdString();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_NE(stored.front().token, activated->token);
    EXPECT_TRUE(service->isValidToken(activated->token));
    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(header(requests[1], "authorization"), "Bearer " + stored.front().token);
    EXPECT_EQ(field(requests[1], "handoffTicket"), ticket);
    EXPECT_EQ(field(requests[1], "idempotencyKey"), QStringLiteral("KEY-0123456789"));

    // A callback that cannot store the enrolment stops the invite from being sent.
    service->clearRequests();
    expectDescription(test::failure(await<ActivationState>([&](auto done) {
                          client->activateByInvite(
                              service->createInviteTicket(), kDeviceId, QStringLiteral("测试机"),
                              std::nullopt,
                              [](const ActivationState &) -> Status {
                                  return ClientError::fileSystem(QStringLiteral("写不进去。"));
                              },
                              done);
                      })),
                      "写不进去。");
    EXPECT_FALSE(find(service->requests(), "/api/client/activate-by-invite"));
}

TEST_F(ClientCalls, PromotionLinkAndRewardClaim) {
    auto client = enrolledClient();
    const auto link =
        await<ClientPromotionLinkResponse>([&](auto done) { client->fetchPromotionLink(done); });
    ASSERT_TRUE(link.ok()) << describe(link.error()).toStdString();
    const auto rewards =
        await<ClientRewardStatusResponse>([&](auto done) { client->fetchRewards(done); });
    ASSERT_TRUE(rewards.ok() && rewards->campaignId);
    const auto claimed = await<ClientRewardStatusResponse>(
        [&](auto done) { client->claimReward(*rewards->campaignId, RewardSource::Base, done); });
    ASSERT_TRUE(claimed.ok()) << describe(claimed.error()).toStdString();
    EXPECT_EQ(claimed->codes.size(), 1u);
    const std::optional<dev::RecordedRequest> claim =
        find(service->requests(), "/api/client/rewards/claim");
    ASSERT_TRUE(claim);
    EXPECT_EQ(field(*claim, "source"), QStringLiteral("base"));
}

TEST_F(ClientCalls, RedirectsAreFollowedWithTheCredentialWithinTheOrigin) {
    auto client = enrolledClient();
    service->setFault(QStringLiteral("/api/client/rewards"),
                      {.redirectTo = service->origin() + kToday + "?moved=1"});
    // The rewards path now answers with today's wallpaper, which is not a rewards status.
    expectDescription(test::failure(await<ClientRewardStatusResponse>(
                          [&](auto done) { client->fetchRewards(done); })),
                      "暂时无法读取红包活动信息，请稍后重试。");
    const std::optional<dev::RecordedRequest> followed =
        find(service->requests(), "/api/client/wallpaper/today");
    ASSERT_TRUE(followed);
    EXPECT_EQ(followed->query, QStringLiteral("moved=1"));
    EXPECT_EQ(header(*followed, "authorization"), "Bearer " + client->activation()->token);
}

// A loopback service never goes through the proxy (which would see the token); the official
// one does, and a dead proxy is named in the failure.
TEST_F(ClientCalls, ADeadSystemProxyFailsWithTheHintWhileLoopbackGetsThrough) {
    auto loopback = enrolledClient(NetworkProxyMode::System);
    auto system = WallpaperAPIClient::create(ClientConstants::officialServer,
                                             loopback->activation(), NetworkProxyMode::System)
                      .value();
    // Nothing listens on port 9 of the loopback: a proxy that has gone away.
    qputenv("http_proxy", "http://127.0.0.1:9");
    qputenv("https_proxy", "http://127.0.0.1:9");
    qunsetenv("no_proxy");
    const auto viaProxy = await<WallpaperMetadata>([&](auto done) { system->fetchToday(done); });
    const auto straight = await<WallpaperMetadata>([&](auto done) { loopback->fetchToday(done); });
    qunsetenv("http_proxy");
    qunsetenv("https_proxy");
    EXPECT_TRUE(straight.ok());
    expectDescription(
        test::failure(viaProxy),
        "服务器返回错误（HTTP 0）：连接服务器失败：…。当前为“跟随系统代理”；若代理程序"
        "已退出但系统仍残留代理，请在菜单栏“网络连接”中切换为“直连（忽略系统代理）”后"
        "重试。");
}

// Small enough for a test to exceed, large enough for every sample wallpaper.
constexpr qint64 kDownloadCeiling = 1 << 20;
const std::string kLongError = "服务器返回错误（HTTP 422）：" + std::string(300, 'x');

// One hostile or broken answer and exactly what the caller gets. A redirect goes to the same
// path on another origin. A download asks for a digest that cannot match, and must leave the
// previous file alone.
struct HostileCase {
    const char *name;
    bool download; // else today's descriptor
    dev::Fault fault;
    const char *expected; // as expectDescription takes it
};

void PrintTo(const HostileCase &row, std::ostream *out) {
    *out << row.name;
}

class HostileService : public ServiceTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileService, GetsTheExactErrorAndKeepsThePreviousFile) {
    auto client = enrolledClient();
    const HostileCase &row = GetParam();
    const QString path = row.download ? service->todayWallpaper().downloadPath : kToday;
    dev::Fault fault = row.fault;
    if (fault.redirectTo)
        fault.redirectTo =
            (fault.redirectTo == u"self" ? service->origin() : otherOrigin().origin()) + path;
    service->setFault(path, fault);
    TempDir temp;
    const QString destination = temp.path(QStringLiteral("today.jpg"));
    ASSERT_TRUE(test::writeFile(destination, "previous wallpaper"));
    expectDescription(
        row.download
            ? test::failure(await<QString>([&](auto done) {
                  client->download(path, QString(64, u'0'), destination, done, kDownloadCeiling);
              }))
            : test::failure(await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); })),
        row.expected);
    EXPECT_EQ(test::readAll(destination), QByteArray("previous wallpaper"));
    EXPECT_EQ(entries(temp.path()), QStringList{QStringLiteral("today.jpg")});
}

QByteArray noise(qsizetype size) {
    // Incompressible, so no transfer encoding can shrink it on the wire.
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 1;
    for (char &c : bytes)
        c = char('a' + ((state = state * 1664525u + 1013904223u) >> 27));
    return bytes;
}

const WallpaperMetadata kZeroId{0, {}, "a.jpg", {}, 0, QString(64, u'0'), "/x"};

INSTANTIATE_TEST_SUITE_P(
    Table, HostileService,
    ::testing::Values(
        HostileCase{
            "redirectToOtherPort", false, {.redirectTo = ""}, "服务器返回错误（HTTP 302）："},
        HostileCase{"redirectLoop", false, {.redirectTo = "self"}, "服务器返回错误（HTTP 302）："},
        HostileCase{"status407FromTheServiceItself", false, status(407, R"({"error":"要认证"})"),
                    "服务器返回错误（HTTP 407）：要认证"},
        HostileCase{"status401", false, status(401, R"({"error":"令牌无效"})"),
                    "服务器返回错误（HTTP 401）：令牌无效"},
        HostileCase{"nonJson", false, status(200, "<html/>", "text/html"), "数据不是有效的 JSON…"},
        HostileCase{"incompleteDescriptor", false, status(200, encodeJson(kZeroId.toJson())),
                    "服务器壁纸响应不完整。"},
        HostileCase{"oversizeBody", false, status(200, noise(17 * 1024 * 1024)),
                    "服务器响应过大，已停止接收。"},
        HostileCase{"truncatedBody",
                    false,
                    {.truncateAfter = 10},
                    "服务器返回错误（HTTP 0）：连接服务器失败：…"},
        HostileCase{"downloadDigestMismatch", true, {}, "壁纸文件校验失败，已保留当前桌面。"},
        HostileCase{"downloadTruncated",
                    true,
                    {.truncateAfter = 1000},
                    "服务器返回错误（HTTP 0）：下载失败：…"},
        HostileCase{"downloadNotFound", true, status(404, R"({"error":"文件不存在"})"),
                    "服务器返回错误（HTTP 404）：文件不存在"},
        // Only the first MiB of an error answer counts: here all blanks, so the words after it
        // never reach the message.
        HostileCase{"downloadErrorBodyBeyondOneMiB", true,
                    status(500, QByteArray(1024 * 1024, ' ') + "tail", "text/plain"),
                    "服务器返回错误（HTTP 500）："},
        // Service text reaches terminals, log files and alerts: no escape sequences, line
        // overwrites or reordering marks, and no more than 300 characters, JSON or not.
        HostileCase{"errorWithTerminalControls", false,
                    status(401, R"({"error":"\u001b]0;pwned\u0007\r\u202Eok"})"),
                    "服务器返回错误（HTTP 401）：]0;pwnedok"},
        HostileCase{"plainErrorWithTerminalControls", false,
                    status(503, "\x1b[2Kbusy\r\n\x07", "text/plain"),
                    "服务器返回错误（HTTP 503）：[2Kbusy"},
        HostileCase{"longJsonError", false,
                    status(422, R"({"error":")" + QByteArray(400, 'x') + R"("})"),
                    kLongError.c_str()},
        // Endless or huge: the announced length is not believed, the ceiling holds.
        HostileCase{"downloadBeyondTheCeiling", true,
                    status(200, noise(2 * kDownloadCeiling), "image/jpeg"),
                    "下载内容超过 1 MB 的上限，已停止下载。"},
        HostileCase{"downloadRedirectToOtherPort",
                    true,
                    {.redirectTo = ""},
                    "服务器返回错误（HTTP 302）："}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
