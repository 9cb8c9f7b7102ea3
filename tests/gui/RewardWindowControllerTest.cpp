// The rewards window against the embedded development service: what the content shows in
// order, which buttons are enabled and the status line after each flow, with a recording
// clipboard and browser. Two states are saved as PNG under <build>/screenshots.
#include "ui/RewardWindowController.h"
#include "integration/ClientHarness.h"
#include "support/Screenshot.h"
#include "support/ScriptedUi.h"
#include "ui/RewardCodeView.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QPushButton>

#include <unistd.h>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

const QString kRewardsPath = u"/api/client/rewards"_s;
const QString kClaimPath = u"/api/client/rewards/claim"_s;

const QString kInstructions =
    u"每台设备可领取一个新用户红包；成功邀请好友后还可再领取一个推荐红包。"
    "在兑换页面输入兑换码即可使用。"_s;
const QString kNotOpen = u"红包活动暂未开放。已领取的口令仍显示在下方。"_s;
const QString kNoCodes = u"还没有领取到口令。"_s;
const QString kOpenPage = u"[打开领奖页面]"_s;
const QString kReferralHint = u"朋友通过你的邀请链接完成注册后，可在这里查看额外口令的领取资格。"_s;
const QString kClaimed = u"口令已领取，可复制后扫码前往小程序使用。"_s;
const QString kUpdated = u"已更新。已领口令可随时在这里查看。"_s;

// The content as the user reads it, top to bottom and left column before right: a text as
// itself, a code as "<口令>", a button as "[text]", an image as "[图 accessible name]".
QStringList content(const QLayout *layout) {
    QStringList lines;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        const QWidget *widget = item->widget();
        if (item->layout())
            lines << content(item->layout());
        else if (const auto *label = qobject_cast<const QLabel *>(widget))
            lines << (label->pixmap().isNull() ? label->text()
                                               : u"[图 "_s + label->accessibleName() + u']');
        else if (qobject_cast<const RewardCodeView *>(widget))
            lines << u"<口令>"_s;
        else if (const auto *button = qobject_cast<const QPushButton *>(widget))
            lines << u'[' + button->text() + u']';
        else if (widget && widget->layout())
            lines << content(widget->layout());
    }
    return lines;
}

// "refresh invite referral", each 1 when enabled.
QString buttons(const RewardWindowController &window) {
    return u"%1%2%3"_s.arg(int(window.refreshButton()->isEnabled()))
        .arg(int(window.inviteButton()->isEnabled()))
        .arg(int(window.referralButton()->isEnabled()));
}

// A code as the service lists it.
QJsonObject listedCode(const QString &code, const QString &source, const QString &issuedAt) {
    return {{u"claimId"_s, QUuid::createUuid().toString(QUuid::WithoutBraces)},
            {u"code"_s, code},
            {u"source"_s, source},
            {u"issuedAtUtc"_s, issuedAt}};
}

class RewardWindow : public test::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        client = enrolledClient();
    }

    std::unique_ptr<RewardWindowController> open() {
        auto window =
            std::make_unique<RewardWindowController>([this] { return client.get(); }, workspace);
        window->showAndLoad();
        EXPECT_TRUE(settle(*window));
        return window;
    }

    // Until the window's request is answered and the new content is laid out.
    static bool settle(const RewardWindowController &window) {
        const bool idle = test::pumpUntil([&] { return !window.isBusy(); });
        QCoreApplication::processEvents();
        return idle;
    }

    // The service's answer to the status call: the status as a window opened now shows it, with
    // `changes` on top.
    void serveStatus(const QJsonObject &changes) {
        QJsonObject status = open()->status()->toJson();
        for (auto change = changes.begin(); change != changes.end(); ++change)
            status.insert(change.key(), change.value());
        service->setFault(kRewardsPath, {.body = QJsonDocument(status).toJson()});
    }

    test::RecordingWorkspace workspace;
    std::unique_ptr<WallpaperAPIClient> client;
};

struct StateCase {
    const char *name;
    std::function<void(dev::DevService &)> arrange;
    QStringList body;
    QString buttons;
    QString message;
};

class RewardWindowStates : public RewardWindow, public ::testing::WithParamInterface<StateCase> {};

TEST_P(RewardWindowStates, ShowTheCampaignAndOfferWhatItAllows) {
    GetParam().arrange(*service);
    auto window = open();
    EXPECT_EQ(content(window->body()->layout()), GetParam().body);
    EXPECT_EQ(buttons(*window), GetParam().buttons);
    EXPECT_EQ(window->message()->text(), GetParam().message);
}

// The content of the sample campaign: its title, a notice, the count and the instructions;
// one base code; the QR block.
QStringList campaign(const QStringList &notice = {}, int invited = 0) {
    return QStringList{u"每日壁纸新用户红包"_s} + notice +
           QStringList{u"成功邀请：%1 人"_s.arg(invited), kInstructions};
}
const QStringList kBaseCode{u"红包口令"_s, u"<口令>"_s, u"[复制口令]"_s};
const QStringList kQrBlock{u"扫码前往小程序领取"_s, u"[图 管理员配置的领奖二维码]"_s, kOpenPage};

// A status that fails to load leaves no content and only the refresh button.
std::function<void(dev::DevService &)> failLoad(dev::Fault fault) {
    return [fault](dev::DevService &s) {
        s.setFault(kRewardsPath, fault);
    };
}

INSTANTIATE_TEST_SUITE_P(
    , RewardWindowStates,
    ::testing::Values(
        StateCase{"BaseClaimedOnOpen", [](dev::DevService &) {},
                  campaign() << kBaseCode << kQrBlock << kReferralHint, "110", kClaimed},
        StateCase{"Disabled", [](dev::DevService &s) { s.setRewardsEnabled(false); },
                  campaign({kNotOpen}) << kNoCodes << kQrBlock << kReferralHint, "100", kUpdated},
        StateCase{"NoCampaignId", [](dev::DevService &s) { s.setRewardCampaignListed(false); },
                  campaign({kNotOpen}) << kNoCodes << kQrBlock << kReferralHint, "110", kUpdated},
        StateCase{"OutOfStock", [](dev::DevService &s) { s.setRewardStock(0); },
                  campaign({u"口令暂时领完了，请稍后再来。已领取的口令不受影响。"_s})
                      << kNoCodes << kQrBlock << kReferralHint,
                  "110", kUpdated},
        StateCase{"QrAbsent",
                  [](dev::DevService &s) { s.setRewardQr(dev::DevService::RewardQr::Absent); },
                  campaign() << kBaseCode << u"管理员尚未配置领奖二维码。"_s << kOpenPage
                             << kReferralHint,
                  "110", kClaimed},
        StateCase{"NotFound", failLoad({.status = 404}), QStringList(), "100",
                  u"当前服务器暂未开放红包功能，请稍后再试。壁纸功能可继续使用。"_s},
        StateCase{"GoneWithoutMessage", failLoad({.status = 410, .body = QByteArray()}),
                  QStringList(), "100", u"活动状态或口令库存已变化，请刷新后查看。"_s},
        StateCase{"ServerError", failLoad({.status = 500}), QStringList(), "100",
                  u"服务器返回错误（HTTP 500）：服务器暂时无法处理请求。"_s}),
    [](const auto &info) { return std::string(info.param.name); });

// A refused claim shows the campaign as it is now before it explains; when that reload fails
// too, the content last shown stays.
TEST_F(RewardWindow, ARefusedClaimReloadsTheCampaignThenExplains) {
    dev::Fault refused{.status = 409, .body = R"({"error":"活动已结束。"})"};
    service->setFault(kClaimPath, refused);
    auto window = open();
    ASSERT_EQ(service->requests().size(), 3u); // load, claim, reload
    EXPECT_EQ(window->message()->text(), u"活动已结束。"_s);
    EXPECT_EQ(buttons(*window), "110");

    refused.delayMs = 300;
    service->setFault(kClaimPath, refused);
    window->refreshAction();
    ASSERT_TRUE(test::pumpUntil([&] { return window->message()->text() == u"正在领取红包口令…"; }));
    service->setFault(kRewardsPath, {.status = 500});
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(window->message()->text(), u"活动已结束。"_s);
    EXPECT_TRUE(content(window->body()->layout()).contains(kNoCodes));
}

// The referral code is claimed on request. While a later request is in flight its buttons
// wait, both codes can still be copied and the redemption page opened; the invite link is
// copied on request too, and a client replaced while a request is in flight ends it.
TEST_F(RewardWindow, ClaimsAndCopiesOnRequestAndCodesStayUsableWhileBusy) {
    service->setRewardInvitationBonus(1);
    auto window = open();
    window->referralButton()->click();
    EXPECT_EQ(window->message()->text(), u"正在领取邀请奖励口令…"_s);
    ASSERT_TRUE(settle(*window));
    // Newest first.
    EXPECT_EQ(content(window->body()->layout()),
              campaign({}, 1) << u"邀请奖励口令"_s << u"<口令>"_s << u"[复制口令]"_s << kBaseCode
                              << kQrBlock << u"邀请奖励口令已领取。"_s);
    test::saveScreenshot(window.get(), u"rewards-BothCodes"_s);

    service->setFault(kRewardsPath, {.delayMs = 800});
    window->refreshButton()->click();
    EXPECT_EQ(window->message()->text(), u"正在读取红包活动…"_s);
    EXPECT_EQ(buttons(*window), "000");
    window->codeButtons().at(1)->click();
    window->codeButtons().at(0)->click();
    EXPECT_EQ(workspace.copied,
              (QStringList{window->status()->codes[1].code, window->status()->codes[0].code}));
    EXPECT_EQ(window->message()->text(), u"口令已复制。"_s);
    // The redemption page is the last button of the content.
    window->body()->findChildren<QPushButton *>().last()->click();
    EXPECT_EQ(workspace.opened, QList<QUrl>{QUrl(u"https://redeem.velmora.example/redeem"_s)});
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(window->message()->text(), kUpdated);

    // The invite link goes to the clipboard, or the window says why not.
    const auto invite = [&] {
        window->inviteButton()->click();
        EXPECT_EQ(window->message()->text(), u"正在获取邀请链接…"_s);
        EXPECT_TRUE(settle(*window));
        EXPECT_EQ(buttons(*window), "110");
        return window->message()->text();
    };
    EXPECT_EQ(invite(), u"邀请链接已复制；朋友通过链接完成注册后，再刷新查看奖励资格。"_s);
    ASSERT_EQ(workspace.copied.size(), 3);
    EXPECT_TRUE(workspace.copied.last().startsWith(service->origin() + u"/r/"_s));
    workspace.clipboardWorks = false;
    EXPECT_EQ(invite(), u"无法写入系统剪贴板。"_s);
    service->setFault(u"/api/client/promotion/link"_s, {.status = 401});
    EXPECT_EQ(invite(), u"暂时无法获取邀请链接。暂时无法验证本机，请在“帮助与维护”中"
                        "重新连接服务后重试。"_s);
    EXPECT_EQ(workspace.copied.size(), 3);

    window->refreshAction();
    ASSERT_TRUE(window->isBusy());
    client = makeClient();
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(window->message()->text(), u"客户端尚未完成自动连接，请稍后重试。"_s);
}

TEST_F(RewardWindow, HostileServiceTextsLeaveTheWindowUsable) {
    const QString longCode = u"\u202eA\x1b[31m\r\n"_s + QString(200000, u'Z');
    serveStatus({{u"campaignName"_s, u"\u202e包红\x07"_s},
                 {u"redemptionUrl"_s, u"javascript:alert(1)"_s},
                 {u"instructions"_s, u" \n\t "_s},
                 {u"codes"_s, QJsonArray{listedCode(longCode, u"\u200fbase"_s, u"x"_s)}},
                 {u"redemptionQrBase64"_s, QString(3'000'004, u'A')}});
    auto window = open();
    EXPECT_EQ(content(window->body()->layout()),
              (QStringList{u"包红"_s, u"成功邀请：0 人"_s}
               << kBaseCode << u"领奖二维码暂时无法显示，请联系管理员更新。"_s << kReferralHint));
    const QString shown = window->body()->findChild<RewardCodeView *>()->toPlainText();
    EXPECT_TRUE(shown.startsWith(u"A[31mZZZ"_s)) << shown.left(20).toStdString();
    EXPECT_LE(shown.size(), 512);
    EXPECT_LE(window->width(), 580);
    test::saveScreenshot(window.get(), u"rewards-HostileCode"_s);
    window->openRedemptionAction();
    EXPECT_TRUE(workspace.opened.isEmpty());
    window->codeButtons().at(0)->click();
    EXPECT_EQ(workspace.copied, QStringList{longCode});
}

long residentBytes() {
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLong() * sysconf(_SC_PAGESIZE);
}

// However many codes the service lists, the window shows the 50 newest, says how many more
// there are and stays small; the base code among those left out still counts as claimed. A QR
// image larger than its frame is shrunk keeping its shape, so it is not cut off.
TEST_F(RewardWindow, ThousandsOfCodesShowTheNewestFiftyAndStaySmall) {
    QJsonArray codes;
    for (int i = 0; i < 20'000; ++i)
        codes.append(listedCode(
            u"CODE-%1"_s.arg(i), i == 0 ? u"base"_s : u"x"_s,
            QDateTime::fromSecsSinceEpoch(1'800'000'000 + i, Qt::UTC).toString(Qt::ISODate)));
    QImage picture(400, 200, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QByteArray png;
    QBuffer buffer(&png);
    picture.save(&buffer, "PNG");
    serveStatus({{u"codes"_s, codes},
                 {u"canClaimBase"_s, true},
                 {u"redemptionQrBase64"_s, QString::fromLatin1(png.toBase64())}});
    codes = {};
    const long before = residentBytes();
    auto window = open();
    [[maybe_unused]] const long grown = residentBytes() - before;
    const QStringList shown = content(window->body()->layout());
    EXPECT_EQ(shown.count(u"<口令>"_s), 50);
    EXPECT_TRUE(shown.contains(u"还有 19950 个口令未显示。"_s));
    EXPECT_EQ(service->requests().size(), 3u); // no claim after the first load and claim
    window->codeButtons().at(0)->click();
    EXPECT_EQ(workspace.copied, QStringList{u"CODE-19999"_s});
    QList<QSize> qr;
    for (QLabel *label : window->body()->findChildren<QLabel *>())
        if (!label->pixmap().isNull())
            qr << label->pixmap().size();
    EXPECT_EQ(qr, QList<QSize>{QSize(184, 92)});
#ifndef __SANITIZE_ADDRESS__ // its allocator keeps freed memory in quarantine, resident
    EXPECT_LT(grown, 20L << 20) << grown;
#endif
    test::saveScreenshot(window.get(), u"rewards-ManyCodes"_s);
}

} // namespace
