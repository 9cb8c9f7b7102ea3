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

using namespace Qt::StringLiterals;

namespace velmora::SelfTestChecks {

namespace {

Status failed(const QString &message) {
    return ClientError::malformedData(message);
}

// Under the reserved .invalid top-level domain: never a host anyone can own.
const QString testOrigin = u"https://self-test.velmora.invalid"_s;

const QString campaignId = u"b74395d2-a831-4e70-8a7b-03be4a0d4861"_s;

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
    update.version = u"1.0.1"_s;
    update.platform = platform;
    update.fileName = fileName;
    update.contentType = contentType;
    update.sha256 = QString(64, digestDigit);
    update.downloadURL = u"/update"_s;
    return update;
}

} // namespace

Status sessionProxy() {
    const SessionConfiguration system = SessionConfiguration::make(NetworkProxyMode::System);
    QNetworkAccessManager systemManager;
    system.applyTo(systemManager);
    if (system.connectionProxyDictionary || !systemManager.proxyFactory() ||
        systemManager.proxy().type() != QNetworkProxy::DefaultProxy)
        return failed(u"跟随系统代理配置自检失败"_s);

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
        return failed(u"直连代理旁路配置自检失败"_s);
    return {};
}

Status originPolicy() {
    const Result<QString> official = ServerURL::normalize(ClientConstants::officialServer);
    if (!official || QUrl(*official).host().toLower() != ServerURL::officialHost())
        return failed(u"官方服务器规范化结果异常"_s);
    if (ServerURL::normalize(testOrigin))
        return failed(u"安全自检未拒绝第三方 HTTPS 主机"_s);
    return {};
}

Status updatePackages() {
    using namespace UpdatePolicy;
    const SoftwareUpdate mac = package(u"macos"_s, u"VelmoraWallpaper-macOS.dmg"_s,
                                       u"application/x-apple-diskimage"_s, u'a');
    if (!isMacPackage(mac) || !hasValidHash(mac) || !isAcceptable(mac, Platform::MacOS))
        return failed(u"Mac 更新包自检失败"_s);
    const SoftwareUpdate linux = package(u"linux"_s, u"velmora-wallpaper_1.0.1_amd64.deb"_s,
                                         u"application/vnd.debian.binary-package"_s, u'c');
    if (!isLinuxPackage(linux) || !hasValidHash(linux) || !isAcceptable(linux, Platform::Linux))
        return failed(u"Linux 更新包自检失败"_s);
    const SoftwareUpdate windows =
        package(u"windows"_s, u"VelmoraWallpaper.exe"_s, u"application/octet-stream"_s, u'b');
    if (isMacPackage(windows) || isLinuxPackage(windows) ||
        isAcceptable(windows, Platform::MacOS) || isAcceptable(windows, Platform::Linux))
        return failed(u"安全自检错误接受 Windows 更新包"_s);
    return {};
}

Status inviteLinks() {
    using namespace PromotionHandoff;
    const QString ticket = u"Self-Test_Ticket-0123456789_abcdefXYZ-42"_s;
    const std::optional<QString> link = buildURI(ticket);
    bool sound = link && parseURI(*link) == ticket;
    if (sound) {
        for (const QString &almost :
             {u"velmora://activate?token="_s + ticket, u"velmora://evil?ticket="_s + ticket,
              *link + u"&utm_source=test"_s, *link + u'&'})
            sound = sound && !parseURI(almost);
        sound = sound && !normalizeTicket(ticket.chopped(1) + u"中"_s);
    }
    if (!sound)
        return failed(u"邀请链接安全自检失败"_s);
    return {};
}

Status rewardStatus() {
    const std::optional<RewardAnswers> answers = answersFor(rewardSample());
    if (!answers || !answers->claimsBaseOnOpen || !answers->offersReferral || answers->hasQRImage ||
        !answers->hasSafeRedemptionURL)
        return failed(u"红包活动协议自检失败"_s);
    return {};
}

Status rewardEligibility() {
    const QString message = u"红包领取资格或领奖链接安全自检失败"_s;
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
    const auto unsafe =
        answersFor(replaced(sample, (testOrigin + u"/redeem"_s).toUtf8(), "javascript:alert(1)"));
    if (!unsafe || unsafe->hasSafeRedemptionURL)
        return failed(message);

    const ClientRewardClaimRequest claim{QUuid::fromString(campaignId), RewardSource::Referral};
    const QJsonDocument sent = QJsonDocument::fromJson(encodeJson(claim.toJson()));
    if (!sent.isObject() || sent.object().value(u"source"_s).toString() != u"referral")
        return failed(message);
    return {};
}

} // namespace velmora::SelfTestChecks
