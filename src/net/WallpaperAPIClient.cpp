#include "WallpaperAPIClient.h"

#include "FileHasher.h"
#include "NetworkErrorText.h"
#include "PromotionHandoff.h"
#include "ServerURL.h"
#include "UrlComponents.h"
#include "core/PrivateFile.h"
#include "core/Text.h"
#include "platform/HexDigits.h"
#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QStringDecoder>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kRequestTimeoutMs = 60'000;
constexpr qsizetype kMaximumErrorBodyBytes = 1024 * 1024;
constexpr qsizetype kServerMessageLength = 300;

const char *const kProxyHint = "。当前为“跟随系统代理”；若代理程序已退出但系统仍残留代理，请在菜单"
                               "栏“网络连接”中切换为“直连（忽略系统代理）”后重试。";

ClientError malformed(const char *sentence) {
    return ClientError::malformedData(QString::fromUtf8(sentence));
}

// What the handlers of one reply learn while it runs.
struct Transfer {
    QByteArray body;
    bool overflow = false;
    bool redirectRefused = false;
    bool timedOut = false;
};

// A download's staging file: created next to the destination under a name no other process
// uses, filled and hashed as the bytes arrive, removed unless it was moved into place.
struct Staging {
    int fd = -1;
    QString path;
    Sha256 hash;
    int writeErrno = 0;
    QByteArray errorBody;
    bool committed = false;

    ~Staging() {
        if (fd >= 0)
            ::close(fd);
        if (!committed && !path.isEmpty())
            ::unlink(QFile::encodeName(path).constData());
    }

    QByteArray buffer = QByteArray(256 * 1024, Qt::Uninitialized);

    bool write(const char *bytes, qint64 size) {
        const char *data = bytes;
        qint64 left = size;
        while (left > 0) {
            const ssize_t written = ::write(fd, data, size_t(left));
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                writeErrno = errno;
                return false;
            }
            data += written;
            left -= written;
        }
        hash.update(bytes, size);
        return true;
    }
};

bool isSuccess(int status) {
    return status >= 200 && status < 300;
}

std::optional<int> httpStatus(QNetworkReply *reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

// The transfer broke off below HTTP, or after a success status was sent (a cut connection, a
// body that failed to decompress): whatever arrived is not the whole answer.
bool isIncomplete(QNetworkReply *reply, const std::optional<int> &status) {
    const QNetworkReply::NetworkError error = reply->error();
    return error != QNetworkReply::NoError &&
           (isTransportError(error) || !status || isSuccess(*status));
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

} // namespace

QString serverErrorMessage(const QByteArray &body) {
    const Result<APIErrorResponse> response = APIErrorResponse::decode(body);
    if (response && !response->error.isEmpty())
        return response->error;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        text.clear();
    return Text::userPerceivedPrefix(Text::trimmed(text), kServerMessageLength);
}

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
    , m_manager(new QNetworkAccessManager(this)) {
    m_configuration.applyTo(*m_manager);
}

WallpaperAPIClient::~WallpaperAPIClient() {
    // Calls still in flight end here without reaching their completions.
    const QList<QNetworkReply *> replies = m_manager->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies) {
        reply->disconnect();
        reply->abort();
    }
}

SessionConfiguration WallpaperAPIClient::sessionConfiguration(NetworkProxyMode mode) {
    return SessionConfiguration::make(mode);
}

void WallpaperAPIClient::addTrustedCertificates(const QList<QSslCertificate> &certificates) {
    m_extraCertificates += certificates;
}

template <typename T> void WallpaperAPIClient::deliver(Result<T> result, Completion<T> completion) {
    QMetaObject::invokeMethod(
        this,
        [result = std::move(result), completion = std::move(completion)] { completion(result); },
        Qt::QueuedConnection);
}

QNetworkRequest WallpaperAPIClient::makeRequest(const QUrl &url, bool authenticated) const {
    QNetworkRequest request(url);
    request.setTransferTimeout(kRequestTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("User-Agent", ClientConstants::userAgent.toUtf8());
    if (authenticated) {
        if (m_activation) {
            request.setRawHeader("Authorization", "Bearer " + m_activation->token.toUtf8());
            request.setRawHeader("X-Device-Id", m_activation->deviceId.toUtf8());
        }
    } else {
        request.setRawHeader("Content-Type", "application/json");
    }
    if (!m_extraCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(m_extraCertificates);
        request.setSslConfiguration(tls);
    }
    return request;
}

QNetworkReply *WallpaperAPIClient::send(const QNetworkRequest &request, const QByteArray &method,
                                        const QByteArray &body) {
    QNetworkReply *reply = m_manager->sendCustomRequest(request, method, body);
    // The credential never follows a redirect to another scheme, host or port: such a redirect
    // ends the call with the redirect answer itself.
    connect(reply, &QNetworkReply::redirected, reply, [this, reply](const QUrl &target) {
        if (ServerURL::equalOrigin(m_baseURL, target)) {
            Q_EMIT reply->redirectAllowed();
        } else {
            reply->setProperty("velmoraRedirectRefused", true);
            reply->abort();
        }
    });
    QTimer::singleShot(m_configuration.resourceTimeoutSeconds * 1000, reply, [reply] {
        reply->setProperty("velmoraTimedOut", true);
        reply->abort();
    });
    return reply;
}

QString WallpaperAPIClient::networkFailureMessage(const QString &prefix,
                                                  QNetworkReply *reply) const {
    const QNetworkReply::NetworkError error =
        reply->property("velmoraTimedOut").toBool() ? QNetworkReply::TimeoutError : reply->error();
    QString message =
        prefix + QStringLiteral("：") + describeNetworkError(error, reply->errorString());
    if (m_configuration.proxyMode == NetworkProxyMode::System)
        message += QString::fromUtf8(kProxyHint);
    return message;
}

void WallpaperAPIClient::performJSON(const QString &path, const QByteArray &method,
                                     const std::optional<QJsonObject> &body, bool authenticated,
                                     Completion<QByteArray> completion) {
    const QUrl url(m_baseText + u'/' + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        deliver<QByteArray>(ClientError::invalidServer(m_baseText), std::move(completion));
        return;
    }
    QNetworkRequest request = makeRequest(url, authenticated);
    QByteArray data;
    if (body) {
        data = encodeJson(*body);
        request.setRawHeader("Content-Type", "application/json");
    }

    QNetworkReply *reply = send(request, method, data);
    auto transfer = std::make_shared<Transfer>();
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
        if (!transfer->overflow)
            transfer->body += reply->readAll();
        const std::optional<int> status = httpStatus(reply);
        Result<QByteArray> result = QByteArray();
        if (transfer->overflow || transfer->body.size() > maximumJSONBodyBytes)
            result = malformed("服务器响应过大，已停止接收。");
        else if (reply->property("velmoraRedirectRefused").toBool())
            result = ClientError::server(status.value_or(0), serverErrorMessage(transfer->body));
        else if (reply->property("velmoraTimedOut").toBool() || isIncomplete(reply, status))
            result = ClientError::server(
                0, networkFailureMessage(QStringLiteral("连接服务器失败"), reply));
        else if (!status)
            result = ClientError::invalidResponse();
        else if (isSuccess(*status))
            result = transfer->body;
        else
            result = ClientError::server(*status, serverErrorMessage(transfer->body));
        completion(std::move(result));
    });
}

ActivationState WallpaperAPIClient::credentialFrom(const ActivationResponse &response,
                                                   const QString &deviceID,
                                                   const QString &deviceName) const {
    return {m_baseText, deviceID, deviceName, response.token, response.activatedAtUtc};
}

Completion<QByteArray>
WallpaperAPIClient::credentialHandler(const QString &deviceID, const QString &deviceName,
                                      const char *incomplete,
                                      Completion<ActivationState> completion) const {
    // Both enrolment answers become a credential only with a token and an enrolment time.
    return [this, deviceID, deviceName, incomplete, completion](Result<QByteArray> body) {
        if (!body)
            return completion(body.error());
        const Result<ActivationResponse> response = ActivationResponse::decode(*body);
        if (!response)
            return completion(response.error());
        if (Text::isBlank(response->token) || response->activatedAtUtc.isEmpty())
            return completion(malformed(incomplete));
        completion(credentialFrom(*response, deviceID, deviceName));
    };
}

void WallpaperAPIClient::registerDevice(const QString &deviceID, const QString &deviceName,
                                        Completion<ActivationState> completion) {
    const ClientRegistrationRequest request{deviceID, deviceName};
    performJSON(
        QStringLiteral("api/client/register"), "POST", request.toJson(), false,
        credentialHandler(deviceID, deviceName, "服务器登记响应不完整。", std::move(completion)));
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
    performJSON(QStringLiteral("api/client/activate-by-invite"), "POST", request.toJson(), true,
                credentialHandler(request.deviceId, request.deviceName, "服务器激活响应不完整。",
                                  std::move(completion)));
}

void WallpaperAPIClient::fetchToday(Completion<WallpaperMetadata> completion) {
    performJSON(QStringLiteral("api/client/wallpaper/today"), "GET", std::nullopt, true,
                [completion](Result<QByteArray> body) {
                    if (!body)
                        return completion(body.error());
                    Result<WallpaperMetadata> metadata = WallpaperMetadata::decode(*body);
                    if (!metadata)
                        return completion(metadata.error());
                    const QString &digest = metadata->sha256;
                    if (metadata->id < 1 || metadata->fileName.isEmpty() ||
                        !HexDigits::isHex(digest, 64) || metadata->downloadURL.isEmpty())
                        return completion(malformed("服务器壁纸响应不完整。"));
                    completion(std::move(metadata));
                });
}

void WallpaperAPIClient::fetchLatestUpdate(Completion<SoftwareUpdate> completion,
                                           const QString &currentVersion) {
    // The characters a query may hold stay as they are; everything else is percent-encoded.
    const QString version =
        QString::fromLatin1(QUrl::toPercentEncoding(currentVersion, "!$&'()*+,;=:@/?"));
    performJSON(QStringLiteral("api/client/update/latest?currentVersion=") + version +
                    QStringLiteral("&platform=macos"),
                "GET", std::nullopt, true, [completion](Result<QByteArray> body) {
                    if (!body)
                        return completion(body.error());
                    completion(SoftwareUpdate::decode(*body));
                });
}

void WallpaperAPIClient::fetchPromotionLink(Completion<ClientPromotionLinkResponse> completion) {
    performJSON(QStringLiteral("api/client/promotion/link"), "GET", std::nullopt, true,
                [this, completion](Result<QByteArray> body) {
                    if (!body)
                        return completion(body.error());
                    Result<ClientPromotionLinkResponse> response =
                        ClientPromotionLinkResponse::decode(*body);
                    if (!response)
                        return completion(response.error());
                    const std::optional<UrlComponents> link = UrlComponents::parse(response->link);
                    const bool valid =
                        link && link->scheme && link->host &&
                        ServerURL::equalOrigin(QUrl(response->link, QUrl::StrictMode), m_baseURL) &&
                        !link->user && !link->password && !link->query && !link->fragment &&
                        link->path.startsWith(u"/r/") &&
                        PromotionHandoff::normalizeTicket(link->path.mid(3)) == link->path.mid(3);
                    if (!valid)
                        return completion(malformed("服务器返回的推广链接无效。"));
                    completion(std::move(response));
                });
}

// The rewards status and a claim answer alike: an answer that does not decode gets the
// rewards window's own sentence instead of the decoder's.
static Completion<QByteArray>
rewardStatusHandler(Completion<ClientRewardStatusResponse> completion) {
    return [completion = std::move(completion)](Result<QByteArray> body) {
        if (!body)
            return completion(body.error());
        Result<ClientRewardStatusResponse> status = ClientRewardStatusResponse::decode(*body);
        if (!status)
            return completion(malformed("暂时无法读取红包活动信息，请稍后重试。"));
        completion(std::move(status));
    };
}

void WallpaperAPIClient::fetchRewards(Completion<ClientRewardStatusResponse> completion) {
    performJSON(QStringLiteral("api/client/rewards"), "GET", std::nullopt, true,
                rewardStatusHandler(std::move(completion)));
}

void WallpaperAPIClient::claimReward(const QUuid &campaignID, RewardSource source,
                                     Completion<ClientRewardStatusResponse> completion) {
    const ClientRewardClaimRequest request{campaignID, source};
    performJSON(QStringLiteral("api/client/rewards/claim"), "POST", request.toJson(), true,
                rewardStatusHandler(std::move(completion)));
}

void WallpaperAPIClient::download(const QString &urlString,
                                  const std::optional<QString> &expectedSHA256,
                                  const QString &destination, Completion<QString> completion) {
    if (!m_activation || !m_activation->isUsable())
        return deliver<QString>(ClientError::missingActivation(), std::move(completion));

    const QUrl reference(urlString, QUrl::StrictMode);
    const QUrl url = reference.isValid() ? m_baseURL.resolved(reference) : QUrl();
    if (urlString.isEmpty() || !url.isValid() || url.isRelative() ||
        url.authority(QUrl::FullyEncoded).contains(u'@') || !ServerURL::equalOrigin(url, m_baseURL))
        return deliver<QString>(
            malformed("服务器返回的下载地址与激活服务器不一致，已拒绝发送凭证。"),
            std::move(completion));

    const QFileInfo target(destination);
    const QString directory = target.absolutePath();
    if (Status made = PrivateFile::makeDirectories(directory); !made)
        return deliver<QString>(made.error(), std::move(completion));
    // A staging file of the fixed name may be left over from an interrupted older download.
    ::unlink(
        QFile::encodeName(target.absoluteFilePath() + QStringLiteral(".download")).constData());

    auto staging = std::make_shared<Staging>();
    QByteArray pattern = QFile::encodeName(directory + QStringLiteral("/.") + target.fileName() +
                                           QStringLiteral(".XXXXXX.download"));
    staging->fd = ::mkostemps(pattern.data(), int(qstrlen(".download")), O_CLOEXEC);
    if (staging->fd < 0)
        return deliver<QString>(Error::foreign(platform::describeSystemError(errno, directory)),
                                std::move(completion));
    staging->path = QFile::decodeName(pattern);

    QNetworkReply *reply = send(makeRequest(url, true), "GET", QByteArray());
    connect(reply, &QNetworkReply::readyRead, this, [reply, staging] {
        const std::optional<int> status = httpStatus(reply);
        if (!status || !isSuccess(*status)) {
            const QByteArray bytes = reply->readAll();
            if (staging->errorBody.size() < kMaximumErrorBodyBytes)
                staging->errorBody +=
                    bytes.left(kMaximumErrorBodyBytes - staging->errorBody.size());
            return;
        }
        // One reused buffer: a large download is not copied into a new array per chunk.
        qint64 got = 0;
        while (staging->writeErrno == 0 &&
               (got = reply->read(staging->buffer.data(), staging->buffer.size())) > 0) {
            if (!staging->write(staging->buffer.constData(), got))
                reply->abort();
        }
    });
    const QString expected = expectedSHA256.value_or(QString());
    connect(
        reply, &QNetworkReply::finished, this,
        [this, reply, staging, expected, destination = target.absoluteFilePath(), completion] {
            reply->deleteLater();
            const std::optional<int> status = httpStatus(reply);
            if (staging->writeErrno != 0)
                return deliver<QString>(
                    Error::foreign(platform::describeSystemError(staging->writeErrno, destination)),
                    completion);
            if (reply->property("velmoraRedirectRefused").toBool())
                return deliver<QString>(
                    ClientError::server(status.value_or(0), serverErrorMessage(staging->errorBody)),
                    completion);
            if (reply->property("velmoraTimedOut").toBool() || isIncomplete(reply, status))
                return deliver<QString>(
                    ClientError::server(0,
                                        networkFailureMessage(QStringLiteral("下载失败"), reply)),
                    completion);
            if (!status)
                return deliver<QString>(ClientError::invalidResponse(), completion);
            if (!isSuccess(*status))
                return deliver<QString>(
                    ClientError::server(*status, serverErrorMessage(staging->errorBody)),
                    completion);

            const QString digest = staging->hash.finalHex();
            if (!expected.isEmpty() && !sameDigest(digest, expected))
                return deliver<QString>(malformed("壁纸文件校验失败，已保留当前桌面。"),
                                        completion);
            // One atomic rename: the previous file stays in place until the verified one
            // replaces it, and a concurrent reader sees either file whole.
            ::close(staging->fd);
            staging->fd = -1;
            if (::rename(QFile::encodeName(staging->path).constData(),
                         QFile::encodeName(destination).constData()) != 0)
                return deliver<QString>(
                    Error::foreign(platform::describeSystemError(errno, destination)), completion);
            staging->committed = true;
            deliver<QString>(destination, completion);
        });
}

} // namespace velmora
