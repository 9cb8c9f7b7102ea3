// The development service as the client's integration tests see it: real HTTP on loopback.

#include "DevService.h"
#include "support/TempDir.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUuid>

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using velmora::dev::DevService;
using velmora::dev::Fault;

namespace {

QJsonObject json(const std::string &body) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

std::string sha256Hex(const std::string &bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

struct Device {
    std::string id;
    std::string token;
    httplib::Headers headers() const {
        return {{"Authorization", "Bearer " + token}, {"X-Device-Id", id}};
    }
};

class DevServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.start()); }

    httplib::Client client() const { return httplib::Client("127.0.0.1", service.port()); }

    Device registerDevice(const std::string &id) {
        const auto result = client().Post("/api/client/register",
                                          R"({"deviceId":")" + id + R"(","deviceName":"测试 Mac"})",
                                          "application/json");
        EXPECT_TRUE(result && result->status == 200);
        return {id, result
                        ? json(result->body).value(QStringLiteral("token")).toString().toStdString()
                        : std::string()};
    }

    httplib::Result activate(const Device &device, const QString &ticket, const QString &key = {}) {
        QJsonObject body{{QStringLiteral("handoffTicket"), ticket},
                         {QStringLiteral("deviceId"), QString::fromStdString(device.id)},
                         {QStringLiteral("deviceName"), QStringLiteral("Mac")}};
        if (!key.isEmpty())
            body.insert(QStringLiteral("idempotencyKey"), key);
        return client().Post("/api/client/activate-by-invite", device.headers(),
                             QJsonDocument(body).toJson().toStdString(), "application/json");
    }

    DevService service;
};

TEST_F(DevServiceTest, TodaysWallpaperDigestAndLengthMatchTheBytesDownloaded) {
    const Device device = registerDevice("device-1");
    EXPECT_TRUE(service.isValidToken(QString::fromStdString(device.token)));
    EXPECT_GE(device.token.size(), 32u);

    const auto today = client().Get("/api/client/wallpaper/today", device.headers());
    ASSERT_TRUE(today);
    ASSERT_EQ(today->status, 200);
    const QJsonObject descriptor = json(today->body);
    EXPECT_EQ(descriptor.keys(), (QStringList{"contentType", "downloadUrl", "effectiveDate",
                                              "fileName", "id", "length", "sha256"}));
    EXPECT_GE(descriptor.value(QStringLiteral("id")).toInteger(), 1);
    EXPECT_EQ(descriptor.value(QStringLiteral("effectiveDate")).toString(),
              QDate::currentDate().toString(Qt::ISODate));
    EXPECT_EQ(descriptor.value(QStringLiteral("contentType")).toString(),
              QStringLiteral("image/jpeg"));
    const QString url = descriptor.value(QStringLiteral("downloadUrl")).toString();
    EXPECT_TRUE(url.startsWith(u'/'));
    EXPECT_EQ(url, service.todayWallpaper().downloadPath);

    const auto file = client().Get(url.toStdString(), device.headers());
    ASSERT_TRUE(file);
    ASSERT_EQ(file->status, 200);
    EXPECT_EQ(QString::fromStdString(sha256Hex(file->body)),
              descriptor.value(QStringLiteral("sha256")).toString());
    EXPECT_EQ(qint64(file->body.size()), descriptor.value(QStringLiteral("length")).toInteger());
    EXPECT_LE(file->body.size(), 300u * 1024);
    EXPECT_EQ(file->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(QImage::fromData(QByteArray::fromStdString(file->body)).size(), QSize(1920, 1080));

    // A wallpaper set by a test replaces the daily choice.
    const auto custom = service.setTodayWallpaper(QStringLiteral("pixel.png"), "not really a png",
                                                  QStringLiteral("image/png"));
    const auto replaced = json(client().Get("/api/client/wallpaper/today", device.headers())->body);
    EXPECT_EQ(replaced.value(QStringLiteral("id")).toInteger(), custom.id);
    EXPECT_EQ(client().Get(custom.downloadPath.toStdString(), device.headers())->body,
              "not really a png");

    const auto log = service.requests();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].method, QStringLiteral("POST"));
    EXPECT_EQ(log[0].path, QStringLiteral("/api/client/register"));
    EXPECT_EQ(log[0].headers.at(QStringLiteral("content-type")),
              QStringLiteral("application/json"));
    EXPECT_TRUE(log[0].body.contains("\"deviceId\":\"device-1\""));
    EXPECT_EQ(log[0].status, 200);
    EXPECT_EQ(log[1].headers.at(QStringLiteral("x-device-id")), QStringLiteral("device-1"));
}

TEST_F(DevServiceTest, AuthenticatedCallsRefuseWrongCredentialsWith401) {
    const Device device = registerDevice("device-1");
    const std::vector<std::pair<std::string, std::string>> calls = {
        {"GET", "/api/client/wallpaper/today"},
        {"GET", "/api/client/update/latest?currentVersion=1.3.0&platform=macos"},
        {"GET", "/api/client/promotion/link"},
        {"GET", "/api/client/rewards"},
        {"POST", "/api/client/rewards/claim"},
        {"POST", "/api/client/activate-by-invite"},
        {"GET", service.todayWallpaper().downloadPath.toStdString()},
    };
    const std::vector<httplib::Headers> wrongCredentials = {
        {},
        {{"Authorization", "Bearer " + device.token}},
        {{"Authorization", "Bearer " + device.token}, {"X-Device-Id", "device-2"}},
        {{"Authorization", "Bearer not-a-token"}, {"X-Device-Id", "device-1"}},
        {{"Authorization", device.token}, {"X-Device-Id", "device-1"}},
    };
    for (const auto &[method, path] : calls) {
        for (const httplib::Headers &headers : wrongCredentials) {
            const auto result = method == "GET"
                                    ? client().Get(path, headers)
                                    : client().Post(path, headers, "{}", "application/json");
            ASSERT_TRUE(result) << path;
            EXPECT_EQ(result->status, 401) << path;
            EXPECT_FALSE(json(result->body).value(QStringLiteral("error")).toString().isEmpty())
                << path;
        }
        EXPECT_NE(client().Get(path, device.headers())->status, 401) << path;
    }

    service.revokeAllTokens();
    EXPECT_FALSE(service.isValidToken(QString::fromStdString(device.token)));
    EXPECT_EQ(client().Get("/api/client/rewards", device.headers())->status, 401);

    const auto unknown = client().Get("/api/client/nothing-here");
    EXPECT_EQ(unknown->status, 404);
    EXPECT_FALSE(json(unknown->body).value(QStringLiteral("error")).toString().isEmpty());
}

TEST_F(DevServiceTest, InviteTicketWorksOnceButRepeatsTheAnswerForTheSameIdempotencyKey) {
    const QString ticket = service.createInviteTicket();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{40,512}$")).match(ticket).hasMatch());
    const Device device = registerDevice("device-1");
    const QString key = QStringLiteral("0F1E2D3C4B5A69788796A5B4C3D2E1F0");

    const auto first = activate(device, ticket, key);
    ASSERT_EQ(first->status, 200);
    const QJsonObject answer = json(first->body);
    const QString token = answer.value(QStringLiteral("token")).toString();
    EXPECT_NE(token.toStdString(), device.token);
    EXPECT_TRUE(service.isValidToken(token));
    EXPECT_FALSE(answer.value(QStringLiteral("activatedAtUtc")).toString().isEmpty());

    const auto repeated = activate(device, ticket, key);
    ASSERT_EQ(repeated->status, 200);
    EXPECT_EQ(json(repeated->body), answer);

    EXPECT_EQ(activate(device, ticket)->status, 409);
    EXPECT_EQ(activate(device, ticket, QStringLiteral("another-key-123"))->status, 409);
    EXPECT_EQ(activate(registerDevice("device-2"), ticket, key)->status, 409);

    EXPECT_EQ(activate(device, QString(43, u'x'))->status, 404); // well-formed, never issued
    EXPECT_EQ(activate(device, ticket.left(39))->status, 400);   // too short to be a ticket
    Device impostor = device;
    impostor.id = "device-3"; // body names another device than the credential
    EXPECT_EQ(client()
                  .Post("/api/client/activate-by-invite", device.headers(),
                        R"({"handoffTicket":")" + service.createInviteTicket().toStdString() +
                            R"(","deviceId":"device-3","deviceName":"x"})",
                        "application/json")
                  ->status,
              403);
}

// Reads a whole HTTP/1.1 response until the service closes the connection.
std::string rawGet(int port, const std::string &path, const Device &device) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    const std::string request = "GET " + path +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
                                device.token + "\r\nX-Device-Id: " + device.id + "\r\n\r\n";
    (void)!::write(fd, request.data(), request.size());
    std::string response;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        response.append(buffer, size_t(n));
    ::close(fd);
    return response;
}

TEST_F(DevServiceTest, FaultsOfEveryKindAreObservedOnTheWire) {
    const Device device = registerDevice("device-1");
    const std::string today = "/api/client/wallpaper/today";

    Fault status;
    status.status = 503;
    status.body = R"({"error":"服务维护中。"})";
    service.setFault(QString::fromStdString(today), status);
    auto result = client().Get(today, device.headers());
    EXPECT_EQ(result->status, 503);
    EXPECT_EQ(result->body, R"({"error":"服务维护中。"})");
    EXPECT_EQ(service.requests().back().status, 503);

    Fault plainText;
    plainText.status = 500;
    plainText.body = "  plain failure  ";
    plainText.contentType = "text/plain";
    service.setFault(QString::fromStdString(today), plainText);
    result = client().Get(today, device.headers());
    EXPECT_EQ(result->body, "  plain failure  ");
    EXPECT_EQ(result->get_header_value("Content-Type"), "text/plain");

    Fault redirect;
    redirect.redirectTo = QStringLiteral("http://elsewhere.invalid/steal");
    service.setFault(QString::fromStdString(today), redirect);
    result = client().Get(today, device.headers());
    EXPECT_EQ(result->status, 302);
    EXPECT_EQ(result->get_header_value("Location"), "http://elsewhere.invalid/steal");

    Fault slow;
    slow.delayMs = 300;
    service.setFault(QString::fromStdString(today), slow);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(client().Get(today, device.headers())->status, 200);
    EXPECT_GE(timer.elapsed(), 290);

    Fault wrongDigest;
    wrongDigest.wrongDigest = true;
    service.setFault(QString::fromStdString(today), wrongDigest);
    const QString announced = json(client().Get(today, device.headers())->body)
                                  .value(QStringLiteral("sha256"))
                                  .toString();
    EXPECT_EQ(announced.size(), 64);
    EXPECT_NE(announced, service.todayWallpaper().sha256);

    const velmora::dev::WallpaperInfo wallpaper = service.todayWallpaper();
    Fault truncated;
    truncated.truncateAfter = 1000;
    service.setFault(wallpaper.downloadPath, truncated);
    const std::string response =
        rawGet(service.port(), wallpaper.downloadPath.toStdString(), device);
    const size_t headerEnd = response.find("\r\n\r\n");
    ASSERT_NE(headerEnd, std::string::npos);
    EXPECT_NE(response.find("Content-Length: " + std::to_string(wallpaper.length)),
              std::string::npos);
    EXPECT_EQ(response.size() - headerEnd - 4, 1000u);

    service.clearFaults();
    result = client().Get(today, device.headers());
    EXPECT_EQ(json(result->body).value(QStringLiteral("sha256")).toString(), wallpaper.sha256);
    EXPECT_EQ(client().Get(wallpaper.downloadPath.toStdString(), device.headers())->body.size(),
              size_t(wallpaper.length));
}

TEST(DevServiceBinding, RefusesAnythingButLoopback) {
    for (const char *address :
         {"0.0.0.0", "::", "192.168.1.10", "10.0.0.1", "example.com", "::1x"}) {
        DevService::Options options;
        options.bindAddress = QString::fromLatin1(address);
        DevService service(options);
        EXPECT_FALSE(service.start()) << address;
        EXPECT_EQ(service.port(), 0) << address;
    }

    DevService::Options local;
    local.bindAddress = QStringLiteral("localhost");
    DevService first(local);
    ASSERT_TRUE(first.start());
    EXPECT_EQ(first.origin(), QStringLiteral("http://127.0.0.1:%1").arg(first.port()));
    DevService second;
    EXPECT_FALSE(second.start(first.port())); // the port is taken
}

TEST(DevServiceLifecycle, StartsAndStopsQuicklyEvenDuringADelayedAnswer) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 20; ++i) {
        DevService service;
        ASSERT_TRUE(service.start());
        EXPECT_EQ(httplib::Client("127.0.0.1", service.port()).Get("/")->status, 404);
    }
    EXPECT_LT(timer.elapsed(), 5000);

    DevService service;
    ASSERT_TRUE(service.start());
    Fault hang;
    hang.delayMs = 60000;
    service.setFault(QStringLiteral("/slow"), hang);
    std::thread caller(
        [port = service.port()] { httplib::Client("127.0.0.1", port).Get("/slow"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    timer.restart();
    service.stop();
    EXPECT_LT(timer.elapsed(), 3000);
    caller.join();
}

TEST_F(DevServiceTest, PromotionLinkAndRewardsFormAWorkingCampaign) {
    const Device inviter = registerDevice("inviter");
    const auto linkAnswer = client().Get("/api/client/promotion/link", inviter.headers());
    ASSERT_EQ(linkAnswer->status, 200);
    const QJsonObject link = json(linkAnswer->body);
    const QString url = link.value(QStringLiteral("link")).toString();
    const QString prefix = service.origin() + QStringLiteral("/r/");
    ASSERT_TRUE(url.startsWith(prefix)) << url.toStdString();
    const QString ticket = url.mid(prefix.size());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{40,512}$")).match(ticket).hasMatch());
    EXPECT_TRUE(link.value(QStringLiteral("maxActivations")).isDouble());
    EXPECT_EQ(link.value(QStringLiteral("successfulActivations")).toInt(-1), 0);

    const auto statusAnswer = client().Get("/api/client/rewards", inviter.headers());
    ASSERT_EQ(statusAnswer->status, 200);
    const QJsonObject status = json(statusAnswer->body);
    const QString campaign = status.value(QStringLiteral("campaignId")).toString();
    EXPECT_FALSE(QUuid::fromString(campaign).isNull());
    EXPECT_EQ(campaign, service.rewardCampaignId());
    EXPECT_TRUE(status.value(QStringLiteral("canClaimBase")).toBool());
    EXPECT_FALSE(status.value(QStringLiteral("canClaimReferral")).toBool());
    EXPECT_TRUE(status.value(QStringLiteral("codes")).toArray().isEmpty());
    EXPECT_TRUE(status.value(QStringLiteral("redemptionUrl"))
                    .toString()
                    .startsWith(QStringLiteral("https://")));
    const QByteArray png = QByteArray::fromBase64(
        status.value(QStringLiteral("redemptionQrBase64")).toString().toLatin1(),
        QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    const QImage qr = QImage::fromData(png, "PNG");
    ASSERT_FALSE(qr.isNull());
    EXPECT_EQ(qr.width(), qr.height());
    EXPECT_EQ(qr.pixelColor(0, 0), QColor(Qt::white)); // quiet zone
    EXPECT_EQ(qr.pixelColor(qr.width() / 8 + 1, qr.height() / 8 + 1).lightness() < 128,
              qr.pixelColor(32 + 1, 32 + 1).lightness() < 128); // finder pattern corner is dark
    EXPECT_LT(qr.pixelColor(33, 33).lightness(), 128);

    const auto claim = [&](const Device &device, const char *source) {
        return client().Post("/api/client/rewards/claim", device.headers(),
                             R"({"campaignId":")" + campaign.toLower().toStdString() +
                                 R"(","source":")" + source + "\"}",
                             "application/json");
    };
    service.setRewardStock(2);
    const auto base = claim(inviter, "base");
    ASSERT_EQ(base->status, 200);
    const QJsonArray codes = json(base->body).value(QStringLiteral("codes")).toArray();
    ASSERT_EQ(codes.size(), 1);
    EXPECT_EQ(codes[0].toObject().value(QStringLiteral("source")).toString(),
              QStringLiteral("base"));
    EXPECT_FALSE(QUuid::fromString(codes[0].toObject().value(QStringLiteral("claimId")).toString())
                     .isNull());
    EXPECT_EQ(claim(inviter, "base")->status, 409);
    EXPECT_EQ(claim(inviter, "referral")->status, 409); // nobody was invited yet
    EXPECT_EQ(service.rewardStock(), 1);

    // A device enrolled through the link counts as the inviter's successful invitation.
    const Device friendDevice = registerDevice("friend");
    EXPECT_EQ(activate(friendDevice, ticket)->status, 200);
    EXPECT_EQ(activate(inviter, ticket)->status, 409); // not with one's own link
    const QJsonObject after = json(client().Get("/api/client/rewards", inviter.headers())->body);
    EXPECT_EQ(after.value(QStringLiteral("successfulInvitations")).toInt(), 1);
    EXPECT_TRUE(after.value(QStringLiteral("canClaimReferral")).toBool());
    EXPECT_EQ(claim(inviter, "referral")->status, 200);

    const auto soldOut = claim(friendDevice, "base");
    EXPECT_EQ(soldOut->status, 409);
    EXPECT_FALSE(json(soldOut->body).value(QStringLiteral("error")).toString().isEmpty());
    EXPECT_FALSE(json(client().Get("/api/client/rewards", friendDevice.headers())->body)
                     .value(QStringLiteral("stockAvailable"))
                     .toBool());
}

TEST_F(DevServiceTest, UpdateIsOfferedOnlyToOlderClientsWithTheDigestOfThePackage) {
    const Device device = registerDevice("device-1");
    const std::string query = "/api/client/update/latest?currentVersion=";
    const auto none = client().Get(query + "1.3.0&platform=macos", device.headers());
    EXPECT_EQ(json(none->body),
              (QJsonObject{{"isUpdateAvailable", false}, {"isMandatory", false}}));

    const auto package =
        service.setUpdatePackage(DevService::syntheticUpdate(QStringLiteral("1.10.0"), 4096));
    ASSERT_TRUE(package);
    const QJsonObject offer =
        json(client().Get(query + "1.9.2&platform=macos", device.headers())->body);
    EXPECT_TRUE(offer.value(QStringLiteral("isUpdateAvailable")).toBool());
    EXPECT_EQ(offer.value(QStringLiteral("version")).toString(), QStringLiteral("1.10.0"));
    EXPECT_TRUE(
        offer.value(QStringLiteral("fileName")).toString().endsWith(QStringLiteral(".zip")));
    const auto file = client().Get(
        offer.value(QStringLiteral("downloadUrl")).toString().toStdString(), device.headers());
    ASSERT_EQ(file->status, 200);
    EXPECT_EQ(file->body.size(), 4096u);
    EXPECT_EQ(QString::fromStdString(sha256Hex(file->body)),
              offer.value(QStringLiteral("sha256")).toString());

    for (const char *current :
         {"1.10.0&platform=macos", "2.0&platform=macos", "1.3.0&platform=windows"})
        EXPECT_FALSE(json(client().Get(query + current, device.headers())->body)
                         .value(QStringLiteral("isUpdateAvailable"))
                         .toBool())
            << current;
}

TEST(DevServiceTls, ServesHttpsWithAGeneratedCertificate) {
    velmora::test::TempDir dir;
    QString error;
    ASSERT_TRUE(
        DevService::writeSelfSignedCertificate(dir.path("cert.pem"), dir.path("key.pem"), &error))
        << error.toStdString();
    EXPECT_EQ(velmora::test::permissions(dir.path("key.pem")), 0600);

    DevService::Options options;
    options.certFile = dir.path("cert.pem");
    options.keyFile = dir.path("key.pem");
    DevService service(options);
    ASSERT_TRUE(service.start());
    EXPECT_EQ(service.origin(), QStringLiteral("https://localhost:%1").arg(service.port()));

    httplib::SSLClient trusting("localhost", service.port());
    trusting.set_ca_cert_path(dir.path("cert.pem").toStdString().c_str());
    trusting.enable_server_certificate_verification(true);
    const auto result = trusting.Post("/api/client/register",
                                      R"({"deviceId":"d","deviceName":"n"})", "application/json");
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, 200);

    httplib::SSLClient untrusting("localhost", service.port());
    untrusting.enable_server_certificate_verification(true);
    untrusting.set_ca_cert_path("/nonexistent");
    EXPECT_FALSE(untrusting.Get("/"));

    DevService::Options broken = options;
    broken.keyFile = dir.path("missing.pem");
    EXPECT_FALSE(DevService(broken).start());
}

TEST(DevServiceState, ADataDirectoryKeepsTokensTicketsAndCodesAcrossRestarts) {
    velmora::test::TempDir dir;
    DevService::Options options;
    options.dataDir = dir.path();
    QString token;
    QString ticket;
    QString campaign;
    {
        DevService service(options);
        ASSERT_TRUE(service.start());
        const auto answer = httplib::Client("127.0.0.1", service.port())
                                .Post("/api/client/register",
                                      R"({"deviceId":"d1","deviceName":"n"})", "application/json");
        token = json(answer->body).value(QStringLiteral("token")).toString();
        ticket = service.createInviteTicket();
        campaign = service.rewardCampaignId();
        service.setRewardStock(7);
    }
    EXPECT_EQ(velmora::test::permissions(dir.path("devservice-state.json")), 0600);

    DevService restarted(options);
    ASSERT_TRUE(restarted.start());
    EXPECT_TRUE(restarted.isValidToken(token));
    EXPECT_EQ(restarted.rewardCampaignId(), campaign);
    EXPECT_EQ(restarted.rewardStock(), 7);
    const Device device{"d1", token.toStdString()};
    const auto redeemed = httplib::Client("127.0.0.1", restarted.port())
                              .Post("/api/client/activate-by-invite", device.headers(),
                                    R"({"handoffTicket":")" + ticket.toStdString() +
                                        R"(","deviceId":"d1","deviceName":"n"})",
                                    "application/json");
    EXPECT_EQ(redeemed->status, 200);
}

} // namespace
