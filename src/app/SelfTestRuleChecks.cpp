#include "SelfTestRuleChecks.h"

#include "core/ClientConstants.h"
#include "net/Messages.h"
#include "net/PromotionHandoff.h"
#include "net/ServerURL.h"
#include "net/SessionConfiguration.h"
#include "net/UpdatePolicy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QUrl>

namespace velmora::SelfTestChecks {

namespace {

Status failed(const QString &message) {
    return ClientError::malformedData(message);
}

// Under the reserved .invalid top-level domain: never a host anyone can own.
const QString testOrigin = QStringLiteral("https://self-test.velmora.invalid");

const QString campaignId = QStringLiteral("b74395d2-a831-4e70-8a7b-03be4a0d4861");

// The reward status of an open campaign that has given this client nothing yet.
QByteArray rewardSample() {
    return QStringLiteral(R"({"campaignId":"%1","campaignName":"SELF-TEST","enabled":true,)"
                          R"("successfulInvitations":1,"canClaimBase":true,)"
                          R"("canClaimReferral":true,"stockAvailable":true,)"
                          R"("redemptionUrl":"%2/redeem","instructions":"Synthetic test data",)"
                          R"("codes":[]})")
        .arg(campaignId, testOrigin)
        .toUtf8();
}

QByteArray replaced(QByteArray sample, const QByteArray &before, const QByteArray &after) {
    return sample.replace(before, after);
}

// What a rewards window would do with `sample`; none when it does not decode.
struct RewardAnswers {
    bool claimsBaseOnOpen = false;
    bool offersReferral = false;
    bool hasSafeRedemptionURL = false;
    bool hasQRImage = false;
};

std::optional<RewardAnswers> answersFor(const QByteArray &sample) {
    const Result<ClientRewardStatusResponse> status = ClientRewardStatusResponse::decode(sample);
    if (!status)
        return std::nullopt;
    return RewardAnswers{status->shouldClaimBaseOnOpen(), status->canRequestReferral(),
                         status->safeRedemptionURL().has_value(),
                         status->redemptionQRData().has_value()};
}

SoftwareUpdate package(const QString &platform, const QString &fileName, const QString &contentType,
                       QChar digestDigit) {
    SoftwareUpdate update;
    update.isUpdateAvailable = true;
    update.version = QStringLiteral("1.0.1");
    update.platform = platform;
    update.fileName = fileName;
    update.contentType = contentType;
    update.sha256 = QString(64, digestDigit);
    update.downloadURL = QStringLiteral("/update");
    return update;
}

} // namespace

Status sessionProxy() {
    const SessionConfiguration system = SessionConfiguration::make(NetworkProxyMode::System);
    QNetworkAccessManager systemManager;
    system.applyTo(systemManager);
    if (system.connectionProxyDictionary || !systemManager.proxyFactory() ||
        systemManager.proxy().type() != QNetworkProxy::DefaultProxy)
        return failed(QStringLiteral("跟随系统代理配置自检失败"));

    const SessionConfiguration direct = SessionConfiguration::make(NetworkProxyMode::Direct);
    QNetworkAccessManager directManager;
    direct.applyTo(directManager);
    bool allOff = direct.connectionProxyDictionary.has_value();
    for (const char *key : {"HTTPEnable", "HTTPSEnable", "SOCKSEnable", "ProxyAutoConfigEnable",
                            "ProxyAutoDiscoveryEnable"}) {
        allOff =
            allOff && direct.connectionProxyDictionary->value(QLatin1String(key), true) == false;
    }
    if (!allOff || directManager.proxy().type() != QNetworkProxy::NoProxy)
        return failed(QStringLiteral("直连代理旁路配置自检失败"));
    return {};
}

Status originPolicy() {
    const Result<QString> official = ServerURL::normalize(ClientConstants::officialServer);
    if (!official || QUrl(*official).host().toLower() != ServerURL::officialHost())
        return failed(QStringLiteral("官方服务器规范化结果异常"));
    if (ServerURL::normalize(testOrigin))
        return failed(QStringLiteral("安全自检未拒绝第三方 HTTPS 主机"));
    return {};
}

Status updatePackages() {
    using namespace UpdatePolicy;
    const SoftwareUpdate mac =
        package(QStringLiteral("macos"), QStringLiteral("VelmoraWallpaper-macOS.dmg"),
                QStringLiteral("application/x-apple-diskimage"), u'a');
    if (!isMacPackage(mac) || !hasValidHash(mac) || !isAcceptable(mac, Platform::MacOS))
        return failed(QStringLiteral("Mac 更新包自检失败"));
    const SoftwareUpdate linux =
        package(QStringLiteral("linux"), QStringLiteral("velmora-wallpaper_1.0.1_amd64.deb"),
                QStringLiteral("application/vnd.debian.binary-package"), u'c');
    if (!isLinuxPackage(linux) || !hasValidHash(linux) || !isAcceptable(linux, Platform::Linux))
        return failed(QStringLiteral("Linux 更新包自检失败"));
    const SoftwareUpdate windows =
        package(QStringLiteral("windows"), QStringLiteral("VelmoraWallpaper.exe"),
                QStringLiteral("application/octet-stream"), u'b');
    if (isMacPackage(windows) || isLinuxPackage(windows) ||
        isAcceptable(windows, Platform::MacOS) || isAcceptable(windows, Platform::Linux))
        return failed(QStringLiteral("安全自检错误接受 Windows 更新包"));
    return {};
}

Status inviteLinks() {
    using namespace PromotionHandoff;
    const QString ticket = QStringLiteral("Self-Test_Ticket-0123456789_abcdefXYZ-42");
    const std::optional<QString> link = buildURI(ticket);
    bool sound = link && parseURI(*link) == ticket;
    if (sound) {
        for (const QString &almost : {QStringLiteral("velmora://activate?token=") + ticket,
                                      QStringLiteral("velmora://evil?ticket=") + ticket,
                                      *link + QStringLiteral("&utm_source=test"), *link + u'&'})
            sound = sound && !parseURI(almost);
        sound = sound && !normalizeTicket(ticket.chopped(1) + QStringLiteral("中"));
    }
    if (!sound)
        return failed(QStringLiteral("邀请链接安全自检失败"));
    return {};
}

Status rewardStatus() {
    const std::optional<RewardAnswers> answers = answersFor(rewardSample());
    if (!answers || !answers->claimsBaseOnOpen || !answers->offersReferral || answers->hasQRImage ||
        !answers->hasSafeRedemptionURL)
        return failed(QStringLiteral("红包活动协议自检失败"));
    return {};
}

Status rewardEligibility() {
    const QString message = QStringLiteral("红包领取资格或领奖链接安全自检失败");
    const QByteArray sample = rewardSample();
    const QByteArray baseCode =
        R"("codes":[{"claimId":"b74395d2-a831-4e70-8a7b-03be4a0d4862",)"
        R"("code":"SELF-TEST-NOT-REDEEMABLE","source":"base","issuedAtUtc":"2026-09-08T00:00:00Z"}])";
    const auto withBaseCode = answersFor(replaced(sample, R"("codes":[])", baseCode));
    if (!withBaseCode || withBaseCode->claimsBaseOnOpen || !withBaseCode->offersReferral)
        return failed(message);
    for (const auto &[before, after] :
         {std::pair<QByteArray, QByteArray>{R"("enabled":true)", R"("enabled":false)"},
          std::pair<QByteArray, QByteArray>{R"("stockAvailable":true)",
                                            R"("stockAvailable":false)"}}) {
        const auto closed = answersFor(replaced(sample, before, after));
        if (!closed || closed->claimsBaseOnOpen || closed->offersReferral)
            return failed(message);
    }
    const auto unsafe = answersFor(
        replaced(sample, (testOrigin + QStringLiteral("/redeem")).toUtf8(), "javascript:alert(1)"));
    if (!unsafe || unsafe->hasSafeRedemptionURL)
        return failed(message);

    const ClientRewardClaimRequest claim{QUuid::fromString(campaignId), RewardSource::Referral};
    const QJsonDocument sent = QJsonDocument::fromJson(encodeJson(claim.toJson()));
    if (!sent.isObject() || sent.object().value(QStringLiteral("source")).toString() != u"referral")
        return failed(message);
    return {};
}

} // namespace velmora::SelfTestChecks
