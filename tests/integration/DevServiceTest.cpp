// The development service's own promises, which the client's integration tests rely on but do
// not check: loopback-only binding, real credential checks, one-time tickets, reward rules, the
// QR code, update offers and state that survives a restart.

#include "DevService.h"
#include "support/TempDir.h"

#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUuid>

#include <gtest/gtest.h>
#include <httplib.h>

using velmora::dev::DevService;

namespace {

QJsonObject json(const httplib::Result &result) {
    return result ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object()
                  : QJsonObject();
}

QString field(const httplib::Result &result, const char *name) {
    return json(result).value(QLatin1String(name)).toString();
}

bool isTicket(const QString &ticket) {
    return QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{40,512}$")).match(ticket).hasMatch();
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
        return {id, field(result, "token").toStdString()};
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

TEST(DevServiceBinding, RefusesAnythingButLoopbackAndATakenPort) {
    for (const char *address : {"0.0.0.0", "::", "192.168.1.10", "example.com", "::1x"}) {
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
    EXPECT_FALSE(DevService().start(first.port()));
}

TEST_F(DevServiceTest, AuthenticatedCallsRefuseWrongCredentialsWith401) {
    const Device device = registerDevice("device-1");
    const std::vector<httplib::Headers> wrongCredentials = {
        {},
        {{"Authorization", "Bearer " + device.token}},
        {{"Authorization", "Bearer " + device.token}, {"X-Device-Id", "device-2"}},
        {{"Authorization", "Bearer not-a-token"}, {"X-Device-Id", "device-1"}},
        {{"Authorization", device.token}, {"X-Device-Id", "device-1"}},
    };
    for (const std::string &path :
         {std::string("/api/client/wallpaper/today"), std::string("/api/client/rewards"),
          service.todayWallpaper().downloadPath.toStdString()}) {
        for (const httplib::Headers &headers : wrongCredentials)
            EXPECT_EQ(client().Get(path, headers)->status, 401) << path;
        EXPECT_EQ(client().Get(path, device.headers())->status, 200) << path;
    }
    for (const char *path : {"/api/client/rewards/claim", "/api/client/activate-by-invite"})
        EXPECT_EQ(client().Post(path, wrongCredentials[3], "{}", "application/json")->status, 401);

    service.revokeAllTokens();
    EXPECT_EQ(client().Get("/api/client/rewards", device.headers())->status, 401);
}

TEST_F(DevServiceTest, InviteTicketWorksOnceButRepeatsTheAnswerForTheSameIdempotencyKey) {
    const QString ticket = service.createInviteTicket();
    EXPECT_TRUE(isTicket(ticket));
    const Device device = registerDevice("device-1");
    const QString key = QStringLiteral("0F1E2D3C4B5A69788796A5B4C3D2E1F0");

    const auto first = activate(device, ticket, key);
    ASSERT_EQ(first->status, 200);
    const QString token = field(first, "token");
    EXPECT_NE(token.toStdString(), device.token);
    EXPECT_TRUE(service.isValidToken(token));
    EXPECT_EQ(json(activate(device, ticket, key)), json(first));

    EXPECT_EQ(activate(device, ticket)->status, 409);
    EXPECT_EQ(activate(device, ticket, QStringLiteral("another-key-123"))->status, 409);
    EXPECT_EQ(activate(registerDevice("device-2"), ticket, key)->status, 409);
    EXPECT_EQ(activate(device, QString(43, u'x'))->status, 404); // well-formed, never issued
    EXPECT_EQ(activate(device, ticket.left(39))->status, 400);   // too short to be a ticket
    // The body names another device than the credential.
    EXPECT_EQ(client()
                  .Post("/api/client/activate-by-invite", device.headers(),
                        R"({"handoffTicket":")" + service.createInviteTicket().toStdString() +
                            R"(","deviceId":"device-3","deviceName":"x"})",
                        "application/json")
                  ->status,
              403);
}

TEST_F(DevServiceTest, RewardsFollowTheCampaignRulesAndCarryAQrPng) {
    const Device inviter = registerDevice("inviter");
    const QString url =
        field(client().Get("/api/client/promotion/link", inviter.headers()), "link");
    const QString prefix = service.origin() + QStringLiteral("/r/");
    ASSERT_TRUE(url.startsWith(prefix)) << url.toStdString();
    const QString ticket = url.mid(prefix.size());

    const QJsonObject status = json(client().Get("/api/client/rewards", inviter.headers()));
    const QString campaign = status.value(QStringLiteral("campaignId")).toString();
    EXPECT_FALSE(QUuid::fromString(campaign).isNull());
    EXPECT_TRUE(status.value(QStringLiteral("canClaimBase")).toBool());
    EXPECT_FALSE(status.value(QStringLiteral("canClaimReferral")).toBool());
    const QByteArray png = QByteArray::fromBase64(
        status.value(QStringLiteral("redemptionQrBase64")).toString().toLatin1(),
        QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    const QImage qr = QImage::fromData(png, "PNG");
    ASSERT_FALSE(qr.isNull());
    EXPECT_EQ(qr.width(), qr.height());
    EXPECT_EQ(qr.pixelColor(0, 0), QColor(Qt::white)); // quiet zone
    EXPECT_LT(qr.pixelColor(33, 33).lightness(), 128); // finder pattern corner is dark

    const auto claim = [&](const Device &device, const char *source) {
        return client().Post("/api/client/rewards/claim", device.headers(),
                             R"({"campaignId":")" + campaign.toLower().toStdString() +
                                 R"(","source":")" + source + "\"}",
                             "application/json");
    };
    service.setRewardStock(2);
    const auto base = claim(inviter, "base");
    ASSERT_EQ(base->status, 200);
    const QJsonArray codes = json(base).value(QStringLiteral("codes")).toArray();
    ASSERT_EQ(codes.size(), 1);
    EXPECT_EQ(codes[0][QStringLiteral("source")].toString(), QStringLiteral("base"));
    EXPECT_EQ(claim(inviter, "base")->status, 409);
    EXPECT_EQ(claim(inviter, "referral")->status, 409); // nobody was invited yet
    EXPECT_EQ(service.rewardStock(), 1);

    // A device enrolled through the link counts as the inviter's successful invitation.
    const Device friendDevice = registerDevice("friend");
    EXPECT_EQ(activate(friendDevice, ticket)->status, 200);
    EXPECT_EQ(activate(inviter, ticket)->status, 409); // not with one's own link
    const QJsonObject after = json(client().Get("/api/client/rewards", inviter.headers()));
    EXPECT_EQ(after.value(QStringLiteral("successfulInvitations")).toInt(), 1);
    EXPECT_TRUE(after.value(QStringLiteral("canClaimReferral")).toBool());
    EXPECT_EQ(claim(inviter, "referral")->status, 200);

    EXPECT_EQ(claim(friendDevice, "base")->status, 409); // sold out
    EXPECT_FALSE(json(client().Get("/api/client/rewards", friendDevice.headers()))
                     .value(QStringLiteral("stockAvailable"))
                     .toBool());
}

TEST_F(DevServiceTest, UpdateIsOfferedOnlyToOlderClientsWithTheDigestOfThePackage) {
    const Device device = registerDevice("device-1");
    ASSERT_TRUE(
        service.setUpdatePackage(DevService::syntheticUpdate(QStringLiteral("1.10.0"), 4096)));
    const auto latest = [&](const std::string &query) {
        return json(
            client().Get("/api/client/update/latest?currentVersion=" + query, device.headers()));
    };
    const QJsonObject offer = latest("1.9.2&platform=macos");
    EXPECT_EQ(offer.value(QStringLiteral("version")).toString(), QStringLiteral("1.10.0"));
    const QByteArray file = QByteArray::fromStdString(
        client()
            .Get(offer[QStringLiteral("downloadUrl")].toString().toStdString(), device.headers())
            ->body);
    EXPECT_EQ(file.size(), 4096);
    EXPECT_EQ(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex(),
              offer[QStringLiteral("sha256")].toString().toLatin1());
    for (const char *current :
         {"1.10.0&platform=macos", "2.0&platform=macos", "1.3.0&platform=windows"})
        EXPECT_FALSE(latest(current).value(QStringLiteral("isUpdateAvailable")).toBool())
            << current;
}

TEST(DevServiceFiles, StateSurvivesARestartAndSecretsAreOwnerOnly) {
    velmora::test::TempDir dir;
    QString error;
    ASSERT_TRUE(
        DevService::writeSelfSignedCertificate(dir.path("cert.pem"), dir.path("key.pem"), &error))
        << error.toStdString();
    EXPECT_EQ(velmora::test::permissions(dir.path("key.pem")), 0600);

    DevService::Options options;
    options.dataDir = dir.path();
    QString token, ticket, campaign;
    {
        DevService service(options);
        ASSERT_TRUE(service.start());
        token = field(httplib::Client("127.0.0.1", service.port())
                          .Post("/api/client/register", R"({"deviceId":"d1","deviceName":"n"})",
                                "application/json"),
                      "token");
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
    EXPECT_EQ(httplib::Client("127.0.0.1", restarted.port())
                  .Post("/api/client/activate-by-invite", device.headers(),
                        R"({"handoffTicket":")" + ticket.toStdString() +
                            R"(","deviceId":"d1","deviceName":"n"})",
                        "application/json")
                  ->status,
              200);
}

} // namespace
