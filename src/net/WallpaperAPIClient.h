#pragma once

#include "HttpTransport.h"
#include "Messages.h"
#include "ReplyClassification.h"
#include "SessionConfiguration.h"
#include "core/ActivationState.h"
#include "core/ClientConstants.h"
#include "core/Preferences.h"
#include "core/Result.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace velmora {

template <typename T> using Completion = std::function<void(Result<T>)>;

// The one HTTP client of the program, bound to one normalised origin, one optional credential
// and one proxy mode. Every completion runs later on the thread that owns the client (the main
// thread), never inside the call that started the operation; a client destroyed while a call
// is in flight drops that call's result.
class WallpaperAPIClient : public QObject {
    Q_OBJECT

public:
    // Fails with what the origin policy refuses; nothing else can fail.
    static Result<std::unique_ptr<WallpaperAPIClient>>
    create(const QString &serverBaseURL, std::optional<ActivationState> activation = std::nullopt,
           std::optional<NetworkProxyMode> proxyMode = std::nullopt);
    ~WallpaperAPIClient() override;

    static SessionConfiguration sessionConfiguration(NetworkProxyMode mode);

    // The normalised origin, as text (spelling kept) and as a URL.
    const QString &serverText() const { return m_baseText; }
    const QUrl &server() const { return m_baseURL; }
    NetworkProxyMode proxyMode() const { return m_configuration.proxyMode; }
    const std::optional<ActivationState> &activation() const { return m_activation; }
    void useActivation(const ActivationState &activation) { m_activation = activation; }

    // Extra certificate authorities to trust, for tests against a service with a generated
    // certificate.
    void addTrustedCertificates(const QList<QSslCertificate> &certificates);

    void registerDevice(const QString &deviceID, const QString &deviceName,
                        Completion<ActivationState> completion);
    // Enrols first, hands that credential to `onRegistered` (which may refuse it), then redeems
    // the ticket with the fresh credential.
    void activateByInvite(const QString &handoffTicket, const QString &deviceID,
                          const QString &deviceName, const std::optional<QString> &idempotencyKey,
                          std::function<Status(const ActivationState &)> onRegistered,
                          Completion<ActivationState> completion);
    void fetchToday(Completion<WallpaperMetadata> completion);
    void fetchLatestUpdate(Completion<SoftwareUpdate> completion,
                           const QString &currentVersion = ClientConstants::currentVersion);
    // Fetches `urlString` (absolute, or relative to the origin) with the credential, only from
    // the client's own origin, verifies it against `expectedSHA256` when one is given, and only
    // then moves it to `destination` in one atomic rename. Completes with the destination path.
    // A body larger than `maximumBytes` is refused and removed.
    void download(const QString &urlString, const std::optional<QString> &expectedSHA256,
                  const QString &destination, Completion<QString> completion,
                  qint64 maximumBytes = maximumWallpaperBytes);

    // Ceilings for downloads: the largest wallpaper and the largest update package accepted.
    static constexpr qint64 maximumWallpaperBytes = 256ll << 20;
    static constexpr qint64 maximumUpdateBytes = 2048ll << 20;
    void fetchPromotionLink(Completion<ClientPromotionLinkResponse> completion);
    void fetchRewards(Completion<ClientRewardStatusResponse> completion);
    void claimReward(const QUuid &campaignID, RewardSource source,
                     Completion<ClientRewardStatusResponse> completion);

    // 8 to 128 user-perceived characters, each a letter, mark or digit of any script, or one
    // of "-", "_", ".", "~".
    static bool isValidIdempotencyKey(const QString &trimmedKey);

private:
    WallpaperAPIClient(QString baseText, std::optional<ActivationState> activation,
                       NetworkProxyMode proxyMode);

    void performJSON(const QString &path, const QByteArray &method,
                     const std::optional<QJsonObject> &body, bool authenticated,
                     Completion<QByteArray> completion);
    void redeemRegisteredInvite(const InviteActivationRequest &request,
                                Completion<ActivationState> completion);

    template <typename T> void deliver(Result<T> result, Completion<T> completion);

    QString m_baseText;
    QUrl m_baseURL;
    SessionConfiguration m_configuration;
    std::optional<ActivationState> m_activation;
    HttpTransport m_transport;
};

// JSON bodies larger than this are refused rather than buffered.
inline constexpr qint64 maximumJSONBodyBytes = 16 * 1024 * 1024;

} // namespace velmora
