#include "WallpaperAPIClient.h"

#include "AnswerChecks.h"
#include "PromotionHandoff.h"
#include "ServerURL.h"
#include "UpdatePolicy.h"
#include "VerifiedDownload.h"
#include "core/Text.h"

#include <QNetworkReply>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

ClientError malformed(const char *sentence) {
    return ClientError::malformedData(QString::fromUtf8(sentence));
}

bool isKeyCharacter(char32_t scalar) {
    switch (QChar::category(scalar)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return scalar == U'-' || scalar == U'_' || scalar == U'.' || scalar == U'~';
    }
}

// A call's answer goes through `check` before the caller sees it; a failed exchange passes on
// as it is.
template <typename T, typename Check>
Completion<QByteArray> checkedBy(Check check, Completion<T> completion) {
    return [check = std::move(check), completion = std::move(completion)](Result<QByteArray> body) {
        if (!body)
            return completion(body.error());
        completion(check(*body));
    };
}

// What the handlers of one JSON reply learn while it runs.
struct JsonTransfer {
    QByteArray body;
    bool overflow = false;
};

} // namespace

Result<std::unique_ptr<WallpaperAPIClient>>
WallpaperAPIClient::create(const QString &serverBaseURL, std::optional<ActivationState> activation,
                           std::optional<NetworkProxyMode> proxyMode) {
    Result<QString> origin = ServerURL::normalize(serverBaseURL);
    if (!origin)
        return origin.error();
    return std::unique_ptr<WallpaperAPIClient>(new WallpaperAPIClient(
        *origin, std::move(activation), proxyMode.value_or(NetworkProxyMode::current())));
}

WallpaperAPIClient::WallpaperAPIClient(QString baseText, std::optional<ActivationState> activation,
                                       NetworkProxyMode proxyMode)
    : m_baseText(std::move(baseText))
    , m_baseURL(m_baseText, QUrl::StrictMode)
    , m_configuration(sessionConfiguration(proxyMode))
    , m_activation(std::move(activation))
    , m_transport(m_baseURL, m_configuration, this) {}

// Calls in flight need no ending of their own: their reply handlers and posted completions all
// have this client as context, which Qt disconnects and discards before the children go, the
// network access manager with its replies and the staging files their handlers hold.
WallpaperAPIClient::~WallpaperAPIClient() = default;

SessionConfiguration WallpaperAPIClient::sessionConfiguration(NetworkProxyMode mode) {
    return SessionConfiguration::make(mode);
}

void WallpaperAPIClient::addTrustedCertificates(const QList<QSslCertificate> &certificates) {
    m_transport.addTrustedCertificates(certificates);
}

template <typename T> void WallpaperAPIClient::deliver(Result<T> result, Completion<T> completion) {
    QMetaObject::invokeMethod(
        this,
        [result = std::move(result), completion = std::move(completion)] { completion(result); },
        Qt::QueuedConnection);
}

void WallpaperAPIClient::performJSON(const QString &path, const QByteArray &method,
                                     const std::optional<QJsonObject> &body, bool authenticated,
                                     Completion<QByteArray> completion) {
    const QUrl url(m_baseText + u'/' + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        deliver<QByteArray>(ClientError::invalidServer(m_baseText), std::move(completion));
        return;
    }
    QNetworkReply *reply = m_transport.send(
        {url, method, body ? encodeJson(*body) : QByteArray(), !authenticated || body,
         authenticated && m_activation ? &*m_activation : nullptr});
    auto transfer = std::make_shared<JsonTransfer>();
    connect(reply, &QNetworkReply::readyRead, this, [reply, transfer] {
        if (transfer->overflow)
            return;
        transfer->body += reply->readAll();
        if (transfer->body.size() > maximumJSONBodyBytes) {
            transfer->overflow = true;
            transfer->body.clear();
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, transfer, completion] {
        reply->deleteLater();
        // A reply the transport aborted (a refused redirect, the transfer limit) is closed.
        if (!transfer->overflow && reply->isOpen())
            transfer->body += reply->readAll();
        if (transfer->overflow || transfer->body.size() > maximumJSONBodyBytes)
            return completion(malformed("服务器响应过大，已停止接收。"));
        const Status answer = ReplyClassification::outcome(
            reply, transfer->body, u"连接服务器失败"_s, m_configuration.proxyMode);
        if (!answer)
            return completion(answer.error());
        completion(std::move(transfer->body));
    });
}

void WallpaperAPIClient::registerDevice(const QString &deviceID, const QString &deviceName,
                                        Completion<ActivationState> completion) {
    const ClientRegistrationRequest request{deviceID, deviceName};
    performJSON(u"api/client/register"_s, "POST", request.toJson(), false,
                checkedBy<ActivationState>(
                    [server = m_baseText, deviceID, deviceName](const QByteArray &body) {
                        return AnswerChecks::credential(body, server, deviceID, deviceName,
                                                        "服务器登记响应不完整。");
                    },
                    std::move(completion)));
}

bool WallpaperAPIClient::isValidIdempotencyKey(const QString &trimmedKey) {
    const qsizetype length = Text::userPerceivedLength(trimmedKey);
    if (length < 8 || length > 128)
        return false;
    const QList<uint> scalars = trimmedKey.toUcs4();
    return std::all_of(scalars.begin(), scalars.end(),
                       [](uint scalar) { return isKeyCharacter(char32_t(scalar)); });
}

void WallpaperAPIClient::activateByInvite(
    const QString &handoffTicket, const QString &deviceID, const QString &deviceName,
    const std::optional<QString> &idempotencyKey,
    std::function<Status(const ActivationState &)> onRegistered,
    Completion<ActivationState> completion) {
    const std::optional<QString> ticket = PromotionHandoff::normalizeTicket(handoffTicket);
    if (!ticket)
        return deliver<ActivationState>(malformed("邀请链接已损坏或无效。"), std::move(completion));
    std::optional<QString> key;
    if (idempotencyKey) {
        key = Text::trimmed(*idempotencyKey);
        if (!isValidIdempotencyKey(*key))
            return deliver<ActivationState>(malformed("幂等键格式无效。"), std::move(completion));
    }
    const InviteActivationRequest request{*ticket, deviceID, deviceName, key};

    // The invite is only ever redeemed with a fresh enrolment.
    registerDevice(deviceID, deviceName,
                   [this, request, onRegistered = std::move(onRegistered),
                    completion](Result<ActivationState> enrolled) {
                       if (!enrolled)
                           return completion(enrolled);
                       if (onRegistered) {
                           if (Status stored = onRegistered(*enrolled); !stored)
                               return completion(stored.error());
                       }
                       m_activation = *enrolled;
                       redeemRegisteredInvite(request, completion);
                   });
}

void WallpaperAPIClient::redeemRegisteredInvite(const InviteActivationRequest &request,
                                                Completion<ActivationState> completion) {
    performJSON(u"api/client/activate-by-invite"_s, "POST", request.toJson(), true,
                checkedBy<ActivationState>(
                    [server = m_baseText, request](const QByteArray &body) {
                        return AnswerChecks::credential(body, server, request.deviceId,
                                                        request.deviceName,
                                                        "服务器激活响应不完整。");
                    },
                    std::move(completion)));
}

void WallpaperAPIClient::fetchToday(Completion<WallpaperMetadata> completion) {
    performJSON(u"api/client/wallpaper/today"_s, "GET", std::nullopt, true,
                checkedBy<WallpaperMetadata>(AnswerChecks::todayDescriptor, std::move(completion)));
}

void WallpaperAPIClient::fetchLatestUpdate(Completion<SoftwareUpdate> completion,
                                           const QString &currentVersion) {
    // The characters a query may hold stay as they are; everything else is percent-encoded.
    const QString version =
        QString::fromLatin1(QUrl::toPercentEncoding(currentVersion, "!$&'()*+,;=:@/?"));
    performJSON(u"api/client/update/latest?currentVersion="_s + version + u"&platform="_s +
                    UpdatePolicy::queryPlatform(),
                "GET", std::nullopt, true,
                checkedBy<SoftwareUpdate>(AnswerChecks::updateOffer, std::move(completion)));
}

void WallpaperAPIClient::fetchPromotionLink(Completion<ClientPromotionLinkResponse> completion) {
    performJSON(u"api/client/promotion/link"_s, "GET", std::nullopt, true,
                checkedBy<ClientPromotionLinkResponse>(
                    [origin = m_baseURL](const QByteArray &body) {
                        return AnswerChecks::promotionLink(body, origin);
                    },
                    std::move(completion)));
}

void WallpaperAPIClient::fetchRewards(Completion<ClientRewardStatusResponse> completion) {
    performJSON(
        u"api/client/rewards"_s, "GET", std::nullopt, true,
        checkedBy<ClientRewardStatusResponse>(AnswerChecks::rewardStatus, std::move(completion)));
}

void WallpaperAPIClient::claimReward(const QUuid &campaignID, RewardSource source,
                                     Completion<ClientRewardStatusResponse> completion) {
    const ClientRewardClaimRequest request{campaignID, source};
    performJSON(
        u"api/client/rewards/claim"_s, "POST", request.toJson(), true,
        checkedBy<ClientRewardStatusResponse>(AnswerChecks::rewardStatus, std::move(completion)));
}

void WallpaperAPIClient::download(const QString &urlString,
                                  const std::optional<QString> &expectedSHA256,
                                  const QString &destination, Completion<QString> completion,
                                  qint64 maximumBytes) {
    if (!m_activation || !m_activation->isUsable())
        return deliver<QString>(ClientError::missingActivation(), std::move(completion));

    const QUrl reference(urlString, QUrl::StrictMode);
    const QUrl url = reference.isValid() ? m_baseURL.resolved(reference) : QUrl();
    if (urlString.isEmpty() || !url.isValid() || url.isRelative() ||
        url.authority(QUrl::FullyEncoded).contains(u'@') || !ServerURL::equalOrigin(url, m_baseURL))
        return deliver<QString>(
            malformed("服务器返回的下载地址与激活服务器不一致，已拒绝发送凭证。"),
            std::move(completion));

    QNetworkReply *reply = m_transport.send({url, "GET", {}, false, &*m_activation});
    VerifiedDownload::receive(
        reply, destination, maximumBytes, expectedSHA256.value_or(QString()),
        m_configuration.proxyMode, this,
        [this, completion](Result<QString> result) { deliver(std::move(result), completion); });
}

} // namespace velmora
