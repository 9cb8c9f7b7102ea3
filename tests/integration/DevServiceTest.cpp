// The development service's own promises that the client's integration tests rely on but do not
// check: it binds loopback only, its faults take effect as described, and its state survives a
// restart.

#include "DevService.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <httplib.h>

// Faults are written with designated initializers naming only what each one changes.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using velmora::dev::DevService;
using velmora::dev::Fault;

namespace {

QString field(const httplib::Result &result, const char *name) {
    return result ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body))
                        .object()
                        .value(QLatin1String(name))
                        .toString()
                  : QString();
}

// Registers a device and returns the headers its calls carry.
httplib::Headers registerDevice(const DevService &service, const std::string &id) {
    const auto result =
        httplib::Client("127.0.0.1", service.port())
            .Post("/api/client/register", R"({"deviceId":")" + id + R"(","deviceName":"n"})",
                  "application/json");
    return {{"Authorization", "Bearer " + field(result, "token").toStdString()},
            {"X-Device-Id", id}};
}

TEST(DevService, BindsLoopbackOnlyAndNoBusyPort) {
    for (const char *address : {"0.0.0.0", "::", "192.168.1.10", "example.com"}) {
        DevService::Options options;
        options.bindAddress = QString::fromLatin1(address);
        EXPECT_FALSE(DevService(options).start()) << address;
    }
    DevService::Options local;
    local.bindAddress = QStringLiteral("localhost");
    DevService first(local);
    ASSERT_TRUE(first.start());
    EXPECT_EQ(first.origin(), QStringLiteral("http://127.0.0.1:%1").arg(first.port()));
    EXPECT_FALSE(DevService().start(first.port()));
}

TEST(DevService, FaultsReplaceOrBendTheAnswerAndAreRecorded) {
    DevService service;
    ASSERT_TRUE(service.start());
    const httplib::Headers device = registerDevice(service, "device-1");
    const std::string today = "/api/client/wallpaper/today";
    const auto get = [&](const std::string &path, const Fault &fault) {
        service.setFault(QString::fromStdString(path), fault);
        return httplib::Client("127.0.0.1", service.port()).Get(path, device);
    };

    const auto failed = get(today, {.status = 503});
    EXPECT_EQ(failed->status, 503);
    EXPECT_EQ(field(failed, "error"), QStringLiteral("服务器暂时无法处理请求。"));
    EXPECT_EQ(service.requests().back().status, 503);
    const auto malformed = get(today, {.body = QByteArray("[]")});
    EXPECT_EQ(malformed->status, 200);
    EXPECT_EQ(malformed->body, "[]");
    const auto redirected =
        get(today, {.redirectTo = QStringLiteral("https://elsewhere.invalid/")});
    EXPECT_EQ(redirected->status, 302);
    EXPECT_EQ(redirected->get_header_value("Location"), "https://elsewhere.invalid/");
    EXPECT_NE(field(get(today, {.wrongDigest = true}), "sha256"), service.todayWallpaper().sha256);

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(get(today, {.delayMs = 300})->status, 200);
    EXPECT_GE(timer.elapsed(), 300);
    const auto cut =
        get(service.todayWallpaper().downloadPath.toStdString(), {.truncateAfter = 10});
    EXPECT_TRUE(!cut || cut->body.size() < size_t(service.todayWallpaper().length));

    service.clearFaults();
    EXPECT_EQ(field(get(today, {}), "sha256"), service.todayWallpaper().sha256);
}

TEST(DevService, TokensTicketsAndRewardsSurviveARestart) {
    velmora::test::TempDir dir;
    DevService::Options options;
    options.dataDir = dir.path();
    httplib::Headers device;
    QString ticket, campaign;
    {
        DevService service(options);
        ASSERT_TRUE(service.start());
        device = registerDevice(service, "d1");
        ticket = service.createInviteTicket();
        campaign = service.rewardCampaignId();
        service.setRewardStock(7);
    }
    DevService restarted(options);
    ASSERT_TRUE(restarted.start());
    EXPECT_EQ(restarted.rewardCampaignId(), campaign);
    EXPECT_EQ(restarted.rewardStock(), 7);
    // The ticket is still good, once.
    const auto activate = [&] {
        return httplib::Client("127.0.0.1", restarted.port())
            .Post("/api/client/activate-by-invite", device,
                  R"({"handoffTicket":")" + ticket.toStdString() +
                      R"(","deviceId":"d1","deviceName":"n"})",
                  "application/json")
            ->status;
    };
    EXPECT_EQ(activate(), 200) << "the registered token and the ticket are still accepted";
    EXPECT_EQ(activate(), 409);
}

} // namespace
