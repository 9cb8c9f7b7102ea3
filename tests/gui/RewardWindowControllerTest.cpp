// The rewards window against the embedded development service: what the content shows in
// order, which buttons are enabled and the status line after each flow, with a recording
// clipboard and browser. Three states are saved as PNG under <build>/screenshots.
#include "ui/RewardWindowController.h"
#include "integration/ClientHarness.h"
#include "ui/RewardCodeView.h"
#include "ui/Workspace.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QPushButton>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace velmora;
using test::pumpUntil;

namespace {

const QString kRewardsPath = QStringLiteral("/api/client/rewards");
const QString kClaimPath = QStringLiteral("/api/client/rewards/claim");
const QString kLinkPath = QStringLiteral("/api/client/promotion/link");

const QString kName = QStringLiteral("每日壁纸新用户红包");
const QString kInstructions =
    QStringLiteral("每台设备可领取一个新用户红包；成功邀请好友后还可再领取一个推荐红包。"
                   "在兑换页面输入兑换码即可使用。");
const QString kNotOpen = QStringLiteral("红包活动暂未开放。已领取的口令仍显示在下方。");
const QString kNoStock = QStringLiteral("口令暂时领完了，请稍后再来。已领取的口令不受影响。");
const QString kNoCodes = QStringLiteral("还没有领取到口令。");
const QString kQrCaption = QStringLiteral("扫码前往小程序领取");
const QString kQr = QStringLiteral("[图 管理员配置的领奖二维码]");
const QString kOpenPage = QStringLiteral("[打开领奖页面]");
const QString kReferralHint =
    QStringLiteral("朋友通过你的邀请链接完成注册后，可在这里查看额外口令的领取资格。");
const QString kClaimed = QStringLiteral("口令已领取，可复制后扫码前往小程序使用。");
const QString kUpdated = QStringLiteral("已更新。已领口令可随时在这里查看。");

struct RecordingWorkspace : Workspace {
    Status copyText(const QString &text) override {
        if (!clipboardWorks)
            return ClientError::fileSystem(QStringLiteral("无法写入系统剪贴板。"));
        copied << text;
        return {};
    }
    bool openUrl(const QUrl &url) override {
        opened << url;
        return true;
    }
    bool clipboardWorks = true;
    QStringList copied;
    QList<QUrl> opened;
};

// The content as the user reads it, top to bottom and left column before right: a text as
// itself, a code as "<口令>", a button as "[text]", an image as "[图 accessible name]".
void collect(const QLayout *layout, QStringList &lines);

void collect(const QWidget *widget, QStringList &lines) {
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        lines << (label->pixmap().isNull()
                      ? label->text()
                      : QStringLiteral("[图 ") + label->accessibleName() + u']');
    else if (qobject_cast<const RewardCodeView *>(widget))
        lines << QStringLiteral("<口令>");
    else if (const auto *button = qobject_cast<const QPushButton *>(widget))
        lines << u'[' + button->text() + u']';
    else if (widget->layout())
        collect(widget->layout(), lines);
}

void collect(const QLayout *layout, QStringList &lines) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget())
            collect(item->widget(), lines);
        else if (item->layout())
            collect(item->layout(), lines);
    }
}

QStringList content(const RewardWindowController &window) {
    QStringList lines;
    collect(window.body(), lines);
    return lines;
}

// "refresh invite referral", each 1 when enabled.
QString buttons(const RewardWindowController &window) {
    return QStringLiteral("%1%2%3")
        .arg(int(window.refreshButton()->isEnabled()))
        .arg(int(window.inviteButton()->isEnabled()))
        .arg(int(window.referralButton()->isEnabled()));
}

void save(QWidget *widget, const QString &name) {
    // Layout requests travel up one level per turn of the event loop.
    for (int turn = 0; turn < 8; ++turn)
        QCoreApplication::processEvents();
    const QString folder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(folder);
    widget->grab().save(folder + QStringLiteral("/rewards-") + name + QStringLiteral(".png"));
}

QByteArray pngOf(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
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
        const bool idle = pumpUntil([&] { return !window.isBusy(); });
        QCoreApplication::processEvents();
        return idle;
    }

    // The service's answer to the status call replaced by this status.
    void serveStatus(const QJsonObject &status) {
        dev::Fault fault;
        fault.body = QJsonDocument(status).toJson(QJsonDocument::Compact);
        service->setFault(kRewardsPath, fault);
    }

    QStringList paths() const {
        QStringList list;
        for (const dev::RecordedRequest &request : service->requests())
            list << request.method + u' ' + request.path;
        return list;
    }

    RecordingWorkspace workspace;
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

TEST_P(RewardWindowStates, ShowsTheCampaignAndOffersWhatItAllows) {
    GetParam().arrange(*service);
    auto window = open();
    EXPECT_EQ(content(*window), GetParam().body);
    EXPECT_EQ(buttons(*window), GetParam().buttons);
    EXPECT_EQ(window->message()->text(), GetParam().message);
    ASSERT_TRUE(window->status());
    const QList<RewardCodeView *> codes = window->body()->findChildren<RewardCodeView *>();
    ASSERT_EQ(codes.size(), qsizetype(window->status()->codes.size()));
    for (qsizetype i = 0; i < codes.size(); ++i)
        EXPECT_EQ(codes[i]->toPlainText(), window->status()->codes[std::size_t(i)].code);
    EXPECT_EQ(window->codeButtons().size(), codes.size());
    if (QString(GetParam().name) == u"BaseClaimedOnOpen" || QString(GetParam().name) == u"Disabled")
        save(window.get(), QString::fromLatin1(GetParam().name));
}

QStringList operator+(QStringList lines, const QString &line) {
    lines << line;
    return lines;
}

// The content of the sample campaign: its title, a notice, the count and the instructions;
// one base code; the QR block.
QStringList campaign(const QStringList &notice = {}, int invited = 0) {
    return QStringList{kName} + notice +
           QStringList{QStringLiteral("成功邀请：%1 人").arg(invited), kInstructions};
}
const QStringList kBaseCode{QStringLiteral("红包口令"), QStringLiteral("<口令>"),
                            QStringLiteral("[复制口令]")};
const QStringList kQrBlock{kQrCaption, kQr, kOpenPage};

using Arrange = std::function<void(dev::DevService &)>;
const Arrange noChange = [](dev::DevService &) {
};
Arrange redemptionAt(const char *url) {
    return [url](dev::DevService &s) {
        s.setRewardRedemptionUrl(QString::fromLatin1(url));
    };
}
Arrange qrOf(dev::DevService::RewardQr qr) {
    return [qr](dev::DevService &s) {
        s.setRewardQr(qr);
    };
}

INSTANTIATE_TEST_SUITE_P(
    , RewardWindowStates,
    ::testing::Values(
        StateCase{"BaseClaimedOnOpen", noChange,
                  campaign() + kBaseCode + kQrBlock + QStringList{kReferralHint}, "110", kClaimed},
        StateCase{"Disabled", [](dev::DevService &s) { s.setRewardsEnabled(false); },
                  campaign({kNotOpen}) + kNoCodes + kQrBlock + kReferralHint, "100", kUpdated},
        StateCase{"NoCampaignId", [](dev::DevService &s) { s.setRewardCampaignListed(false); },
                  campaign({kNotOpen}) + kNoCodes + kQrBlock + kReferralHint, "110", kUpdated},
        StateCase{"OutOfStock", [](dev::DevService &s) { s.setRewardStock(0); },
                  campaign({kNoStock}) + kNoCodes + kQrBlock + kReferralHint, "110", kUpdated},
        StateCase{"ReferralClaimable", [](dev::DevService &s) { s.setRewardInvitationBonus(3); },
                  campaign({}, 3) + kBaseCode + kQrBlock, "111", kClaimed},
        StateCase{"QrAbsent", qrOf(dev::DevService::RewardQr::Absent),
                  campaign() + kBaseCode + QStringLiteral("管理员尚未配置领奖二维码。") +
                      kOpenPage + kReferralHint,
                  "110", kClaimed},
        StateCase{"QrUndecodable", qrOf(dev::DevService::RewardQr::Undecodable),
                  campaign() + kBaseCode +
                      QStringLiteral("领奖二维码暂时无法显示，请联系管理员更新。") + kOpenPage +
                      kReferralHint,
                  "110", kClaimed},
        StateCase{"ScriptRedemptionUrl", redemptionAt("javascript:alert(1)"),
                  campaign() + kBaseCode + kQrCaption + kQr + kReferralHint, "110", kClaimed},
        StateCase{"PlainHttpRedemptionUrl", redemptionAt("http://redeem.velmora.example/r"),
                  campaign() + kBaseCode + kQrCaption + kQr + kReferralHint, "110", kClaimed},
        StateCase{"RedemptionUrlWithUser", redemptionAt("https://me@redeem.velmora.example/r"),
                  campaign() + kBaseCode + kQrCaption + kQr + kReferralHint, "110", kClaimed}),
    [](const auto &info) { return std::string(info.param.name); });

struct FailureCase {
    const char *name;
    int status;
    std::optional<QByteArray> body;
    QString message;
};

const QString kReconnect =
    QStringLiteral("暂时无法验证本机，请在“帮助与维护”中重新连接服务后重试。");
const QString kNotOffered =
    QStringLiteral("当前服务器暂未开放红包功能，请稍后再试。壁纸功能可继续使用。");
const QString kChanged = QStringLiteral("活动状态或口令库存已变化，请刷新后查看。");
const QByteArray kEnded = R"({"error":"活动已结束。"})";

const auto failures = ::testing::Values(
    FailureCase{"Unauthorized", 401, std::nullopt, kReconnect},
    FailureCase{"Forbidden", 403, std::nullopt, kReconnect},
    FailureCase{"NotFound", 404, std::nullopt, kNotOffered},
    FailureCase{"ConflictWithMessage", 409, kEnded, QStringLiteral("活动已结束。")},
    FailureCase{"ConflictWithoutMessage", 409, QByteArray(), kChanged},
    FailureCase{"GoneWithMessage", 410, kEnded, QStringLiteral("活动已结束。")},
    FailureCase{"GoneWithoutMessage", 410, QByteArray(), kChanged},
    FailureCase{"ServerError", 500, std::nullopt,
                QStringLiteral("服务器返回错误（HTTP 500）：服务器暂时无法处理请求。")},
    FailureCase{"Undecodable", 200, QByteArray("{}"),
                QStringLiteral("暂时无法读取红包活动信息，请稍后重试。")});

dev::Fault faultOf(const FailureCase &c) {
    dev::Fault fault;
    fault.status = c.status;
    fault.body = c.body;
    return fault;
}

class RewardWindowLoadFailures : public RewardWindow,
                                 public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RewardWindowLoadFailures, ExplainAndOfferOnlyRefresh) {
    service->setFault(kRewardsPath, faultOf(GetParam()));
    auto window = open();
    EXPECT_EQ(window->message()->text(), GetParam().message);
    EXPECT_EQ(content(*window), QStringList());
    EXPECT_EQ(buttons(*window), "100");
}

INSTANTIATE_TEST_SUITE_P(, RewardWindowLoadFailures, failures,
                         [](const auto &info) { return std::string(info.param.name); });

class RewardWindowClaimFailures : public RewardWindow,
                                  public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RewardWindowClaimFailures, ReloadTheCampaignBeforeExplaining) {
    service->setFault(kClaimPath, faultOf(GetParam()));
    auto window = open();
    EXPECT_EQ(paths(), (QStringList{QStringLiteral("GET ") + kRewardsPath,
                                    QStringLiteral("POST ") + kClaimPath,
                                    QStringLiteral("GET ") + kRewardsPath}));
    EXPECT_EQ(window->message()->text(), GetParam().message);
    EXPECT_TRUE(content(*window).contains(kNoCodes));
    EXPECT_EQ(buttons(*window), "110");
}

INSTANTIATE_TEST_SUITE_P(
    , RewardWindowClaimFailures,
    ::testing::Values(FailureCase{"ConflictWithMessage", 409, kEnded,
                                  QStringLiteral("活动已结束。")},
                      FailureCase{"ConflictWithoutMessage", 409, QByteArray(), kChanged},
                      FailureCase{"GoneWithoutMessage", 410, QByteArray(), kChanged},
                      FailureCase{"Unauthorized", 401, std::nullopt, kReconnect}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(RewardWindow, ARefusedClaimWhoseReloadFailsKeepsTheContentAndExplains) {
    service->setRewardsEnabled(false);
    auto window = open();
    service->setRewardsEnabled(true);
    dev::Fault refused = faultOf({"", 409, kEnded, {}});
    refused.delayMs = 300;
    service->setFault(kClaimPath, refused);
    window->refreshAction();
    ASSERT_TRUE(pumpUntil([&] { return window->message()->text() == u"正在领取红包口令…"; }));
    service->setFault(kRewardsPath, faultOf({"", 500, std::nullopt, {}}));
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(window->message()->text(), QStringLiteral("活动已结束。"));
    const QStringList shown = content(*window);
    EXPECT_TRUE(shown.contains(kNoCodes));
    EXPECT_FALSE(shown.contains(kNotOpen));
    EXPECT_EQ(buttons(*window), "110");
}

TEST_F(RewardWindow, TheReferralCodeIsClaimedOnRequestAndBothCodesCanBeCopied) {
    service->setRewardInvitationBonus(1);
    auto window = open();
    window->referralButton()->click();
    EXPECT_EQ(window->message()->text(), QStringLiteral("正在领取邀请奖励口令…"));
    EXPECT_EQ(buttons(*window), "000");
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(window->message()->text(), kClaimed);
    const QStringList referralCode{QStringLiteral("邀请奖励口令"), QStringLiteral("<口令>"),
                                   QStringLiteral("[复制口令]")};
    EXPECT_EQ(content(*window), campaign({}, 1) + kBaseCode + referralCode + kQrBlock +
                                    QStringLiteral("邀请奖励口令已领取。"));
    EXPECT_EQ(buttons(*window), "110");
    save(window.get(), QStringLiteral("BothCodes"));

    window->codeButtons().at(1)->click();
    window->codeButtons().at(0)->click();
    EXPECT_EQ(workspace.copied,
              (QStringList{window->status()->codes[1].code, window->status()->codes[0].code}));
    EXPECT_EQ(window->message()->text(), QStringLiteral("口令已复制。"));
    window->copyCodeAction(2);
    window->copyCodeAction(-1);
    EXPECT_EQ(workspace.copied.size(), 2);
}

TEST_F(RewardWindow, OneRequestAtATimeWhileCopyingAndOpeningStillWork) {
    auto window = open();
    dev::Fault slow;
    slow.delayMs = 800;
    service->setFault(kRewardsPath, slow);
    service->clearRequests();
    window->refreshButton()->click();
    EXPECT_EQ(window->message()->text(), QStringLiteral("正在读取红包活动…"));
    EXPECT_EQ(buttons(*window), "000");
    window->refreshAction();
    window->copyInviteAction();
    window->claimReferralAction();
    window->loadRewards(true);
    EXPECT_TRUE(window->codeButtons().at(0)->isEnabled());
    window->codeButtons().at(0)->click();
    EXPECT_EQ(workspace.copied, QStringList{window->status()->codes[0].code});
    window->openRedemptionAction();
    EXPECT_EQ(workspace.opened,
              QList<QUrl>{QUrl(QStringLiteral("https://redeem.velmora.example/redeem"))});
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(paths(), QStringList{QStringLiteral("GET ") + kRewardsPath});
    EXPECT_EQ(window->message()->text(), kUpdated);
}

TEST_F(RewardWindow, TheRedemptionButtonOpensTheSafeAddressOnly) {
    auto window = open();
    auto *button = window->body()->findChildren<QPushButton *>().last();
    ASSERT_EQ(button->text(), QStringLiteral("打开领奖页面"));
    EXPECT_EQ(button->toolTip(), QStringLiteral("https://redeem.velmora.example/redeem"));
    button->click();
    EXPECT_EQ(workspace.opened,
              QList<QUrl>{QUrl(QStringLiteral("https://redeem.velmora.example/redeem"))});

    service->setRewardRedemptionUrl(QStringLiteral("file:///etc/passwd"));
    window->refreshAction();
    ASSERT_TRUE(settle(*window));
    window->openRedemptionAction();
    EXPECT_EQ(workspace.opened.size(), 1);
}

struct InviteCase {
    const char *name;
    std::optional<int> status;
    bool clipboardWorks;
    QString message;
    bool copied;
};

class RewardWindowInvite : public RewardWindow, public ::testing::WithParamInterface<InviteCase> {};

TEST_P(RewardWindowInvite, CopiesThePersonalLink) {
    auto window = open();
    if (GetParam().status) {
        dev::Fault fault;
        fault.status = GetParam().status;
        service->setFault(kLinkPath, fault);
    }
    workspace.clipboardWorks = GetParam().clipboardWorks;
    window->inviteButton()->click();
    EXPECT_EQ(window->message()->text(), QStringLiteral("正在获取邀请链接…"));
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(window->message()->text(), GetParam().message);
    EXPECT_EQ(workspace.copied.size(), GetParam().copied ? 1 : 0);
    if (GetParam().copied) {
        EXPECT_TRUE(workspace.copied[0].startsWith(service->origin() + QStringLiteral("/r/")));
    }
    EXPECT_EQ(buttons(*window), "110");
}

INSTANTIATE_TEST_SUITE_P(
    , RewardWindowInvite,
    ::testing::Values(
        InviteCase{"Copied", std::nullopt, true,
                   QStringLiteral("邀请链接已复制；朋友通过链接完成注册后，再刷新查看奖励资格。"),
                   true},
        InviteCase{"Refused", 401, true, QStringLiteral("暂时无法获取邀请链接。") + kReconnect,
                   false},
        InviteCase{"ServerError", 500, true,
                   QStringLiteral("暂时无法获取邀请链接。服务器返回错误（HTTP "
                                  "500）：服务器暂时无法处理请求。"),
                   false},
        InviteCase{"ClipboardRefuses", std::nullopt, false, QStringLiteral("无法写入系统剪贴板。"),
                   false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(RewardWindow, HostileServiceTextsLeaveTheWindowUsable) {
    const QString longCode = QStringLiteral("\u202eA\x1b[31m\r\n") + QString(200000, u'Z');
    QJsonObject status{
        {QStringLiteral("campaignId"), service->rewardCampaignId()},
        {QStringLiteral("campaignName"), QStringLiteral("\u202e包红\x07")},
        {QStringLiteral("enabled"), true},
        {QStringLiteral("successfulInvitations"), 0},
        {QStringLiteral("canClaimBase"), false},
        {QStringLiteral("canClaimReferral"), false},
        {QStringLiteral("stockAvailable"), true},
        {QStringLiteral("redemptionUrl"), QStringLiteral("javascript:alert(1)")},
        {QStringLiteral("instructions"), QStringLiteral(" \n\t ")},
        {QStringLiteral("codes"),
         QJsonArray{QJsonObject{
             {QStringLiteral("claimId"), QUuid::createUuid().toString(QUuid::WithoutBraces)},
             {QStringLiteral("code"), longCode},
             {QStringLiteral("source"), QStringLiteral("\u200fbase")},
             {QStringLiteral("issuedAtUtc"), QStringLiteral("x")}}}},
        {QStringLiteral("redemptionQrBase64"), QString(3'000'004, u'A')},
    };
    serveStatus(status);
    auto window = open();
    EXPECT_EQ(window->message()->text(), kUpdated);
    EXPECT_EQ(
        content(*window),
        (QStringList{QStringLiteral("包红"), QStringLiteral("成功邀请：0 人"),
                     QStringLiteral("红包口令"), QStringLiteral("<口令>"),
                     QStringLiteral("[复制口令]"),
                     QStringLiteral("领奖二维码暂时无法显示，请联系管理员更新。"), kReferralHint}));
    const QString shown = window->body()->findChild<RewardCodeView *>()->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("A[31mZZZ"))) << shown.left(20).toStdString();
    EXPECT_LE(shown.size(), 512);
    EXPECT_LE(window->width(), 580);
    save(window.get(), QStringLiteral("HostileCode"));
    window->openRedemptionAction();
    EXPECT_TRUE(workspace.opened.isEmpty());
    window->codeButtons().at(0)->click();
    EXPECT_EQ(workspace.copied, QStringList{longCode});
}

struct QrCase {
    const char *name;
    QByteArray png;
    QSize shown; // empty: the explanation instead of an image
};

class RewardWindowQr : public RewardWindow, public ::testing::WithParamInterface<QrCase> {};

TEST_P(RewardWindowQr, ShrinksLargeImagesAndExplainsUnusableOnes) {
    service->setRewardQr(dev::DevService::RewardQr::Absent);
    QJsonObject status;
    {
        auto probe = open();
        status = probe->status()->toJson();
    }
    status.insert(QStringLiteral("redemptionQrBase64"),
                  QString::fromLatin1(GetParam().png.toBase64()));
    serveStatus(status);
    auto window = open();
    QLabel *image = nullptr;
    for (QLabel *label : window->body()->findChildren<QLabel *>())
        if (!label->pixmap().isNull())
            image = label;
    if (GetParam().shown.isEmpty()) {
        EXPECT_FALSE(image);
        EXPECT_TRUE(content(*window).contains(
            QStringLiteral("领奖二维码暂时无法显示，请联系管理员更新。")));
        return;
    }
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixmap().size(), GetParam().shown);
    EXPECT_EQ(image->size(), QSize(184, 184));
}

QByteArray zeroWidthPng() {
    QByteArray png = pngOf(4, 4);
    png.replace(16, 4, QByteArray("\0\0\0\0", 4)); // IHDR width
    return png;
}

INSTANTIATE_TEST_SUITE_P(
    , RewardWindowQr,
    ::testing::Values(QrCase{"Wide", pngOf(400, 200), QSize(184, 92)},
                      QrCase{"SmallIsNotEnlarged", pngOf(100, 120), QSize(100, 120)},
                      QrCase{"ZeroWidth", zeroWidthPng(), {}},
                      QrCase{"SignatureOnly", QByteArray("\x89PNG\r\n\x1a\n", 8), {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(RewardWindow, AReplacedClientEndsTheRequestInFlight) {
    auto window = open();
    dev::Fault slow;
    slow.delayMs = 2000;
    service->setFault(kRewardsPath, slow);
    window->refreshAction();
    ASSERT_TRUE(window->isBusy());
    client = makeClient();
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(window->message()->text(), QStringLiteral("客户端尚未完成自动连接，请稍后重试。"));
    EXPECT_EQ(buttons(*window), "110");
}

TEST_F(RewardWindow, ClosingHidesAndOnlyAHiddenWindowLoadsAgain) {
    auto window = open();
    service->clearRequests();
    window->showAndLoad();
    EXPECT_FALSE(window->isBusy());
    EXPECT_TRUE(paths().isEmpty());
    window->close();
    EXPECT_FALSE(window->isVisible());
    window->showAndLoad();
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(settle(*window));
    EXPECT_EQ(paths(), QStringList{QStringLiteral("GET ") + kRewardsPath});
}

} // namespace
