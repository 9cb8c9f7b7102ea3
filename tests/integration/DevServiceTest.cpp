// The development service's own promises that the client's integration tests rely on but do not
// check: it binds loopback only, a delay takes effect, and its state survives a restart.

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

// Registers a device and returns the headers its calls carry.
httplib::Headers registerDevice(const DevService &service, const std::string &id) {
    const auto result =
        httplib::Client("127.0.0.1", service.port())
            .Post("/api/client/register", R"({"deviceId":")" + id + R"(","deviceName":"n"})",
                  "application/json");
    const QJsonObject answer =
        QJsonDocument::fromJson(QByteArray::fromStdString(result ? result->body : "")).object();
    return {{"Authorization",
             "Bearer " + answer.value(QLatin1String("token")).toString().toStdString()},
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

// Client tests expect a failure from most faults, so a fault that did nothing would fail them;
// not so for a delay.
TEST(DevService, FaultsReplaceOrDelayTheAnswerAndAreRecorded) {
    DevService service;
    ASSERT_TRUE(service.start());
    const httplib::Headers device = registerDevice(service, "device-1");
    const std::string today = "/api/client/wallpaper/today";
    const auto get = [&](const Fault &fault) {
        service.setFault(QString::fromStdString(today), fault);
        return httplib::Client("127.0.0.1", service.port()).Get(today, device);
    };

    EXPECT_EQ(get({.status = 503})->status, 503);
    EXPECT_EQ(service.requests().back().status, 503);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(get({.delayMs = 300})->status, 200);
    EXPECT_GE(timer.elapsed(), 300);
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
    const auto activate = httplib::Client("127.0.0.1", restarted.port())
                              .Post("/api/client/activate-by-invite", device,
                                    R"({"handoffTicket":")" + ticket.toStdString() +
                                        R"(","deviceId":"d1","deviceName":"n"})",
                                    "application/json");
    EXPECT_EQ(activate->status, 200) << "the registered token and the ticket are still accepted";
}

} // namespace
