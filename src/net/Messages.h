#pragma once

// Every JSON body that crosses the wire between the client and the service. Received records
// decode strictly (required keys present and of the right JSON type; unknown keys ignored);
// sent records leave absent optionals out.

#include "core/Result.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>
#include <vector>

namespace velmora {

struct ClientRegistrationRequest {
    QString deviceId;
    QString deviceName;

    QJsonObject toJson() const;
};

struct InviteActivationRequest {
    QString handoffTicket;
    QString deviceId;
    QString deviceName;
    std::optional<QString> idempotencyKey;

    QJsonObject toJson() const;
};

struct ActivationResponse {
    QString token;
    QString activatedAtUtc;

    static Result<ActivationResponse> decode(const QByteArray &data);
};

// Today's wallpaper as the service announces it.
struct WallpaperMetadata {
    qint64 id = 0;
    QString effectiveDate;
    QString fileName;
    QString contentType;
    qint64 length = 0;
    QString sha256;
    QString downloadURL;

    static Result<WallpaperMetadata> decode(const QByteArray &data);
    static Result<WallpaperMetadata> fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    friend bool operator==(const WallpaperMetadata &, const WallpaperMetadata &) = default;
};

struct SoftwareUpdate {
    bool isUpdateAvailable = false;
    std::optional<QString> version;
    std::optional<QString> fileName;
    std::optional<QString> contentType;
    std::optional<qint64> length;
    std::optional<QString> sha256;
    std::optional<QString> downloadURL;
    std::optional<QString> releaseNotes;
    bool isMandatory = false;
    std::optional<QString> publishedAtUtc;
    std::optional<QString> platform;

    static Result<SoftwareUpdate> decode(const QByteArray &data);
    QJsonObject toJson() const;
    friend bool operator==(const SoftwareUpdate &, const SoftwareUpdate &) = default;
};

struct ClientPromotionLinkResponse {
    QString link;
    std::optional<QString> expiresAtUtc;
    qint64 maxActivations = 0;
    qint64 successfulActivations = 0;

    static Result<ClientPromotionLinkResponse> decode(const QByteArray &data);
    QJsonObject toJson() const;
    friend bool operator==(const ClientPromotionLinkResponse &,
                           const ClientPromotionLinkResponse &) = default;
};

enum class RewardSource { Base, Referral };
QString rewardSourceText(RewardSource source);
std::optional<RewardSource> rewardSourceFromText(const QString &text);

struct ClientRewardCodeResponse {
    QUuid claimId;
    QString code;
    QString source; // a plain string, so a source this client does not know still decodes
    QString issuedAtUtc;

    QJsonObject toJson() const;
    friend bool operator==(const ClientRewardCodeResponse &,
                           const ClientRewardCodeResponse &) = default;
};

struct ClientRewardStatusResponse {
    std::optional<QUuid> campaignId;
    QString campaignName;
    bool enabled = false;
    qint64 successfulInvitations = 0;
    bool canClaimBase = false;
    bool canClaimReferral = false;
    bool stockAvailable = false;
    std::optional<QString> redemptionUrl;
    QString instructions;
    std::vector<ClientRewardCodeResponse> codes;
    std::optional<QString> redemptionQrBase64;

    static Result<ClientRewardStatusResponse> decode(const QByteArray &data);
    QJsonObject toJson() const;
    friend bool operator==(const ClientRewardStatusResponse &,
                           const ClientRewardStatusResponse &) = default;

    // Whether the rewards window should claim the base code as it opens.
    bool shouldClaimBaseOnOpen() const;
    // Whether a referral code can be asked for.
    bool canRequestReferral() const;
    // The redemption address, only when it is https with a host and no user information.
    std::optional<QUrl> safeRedemptionURL() const;
    // The QR image, only when it is well-formed Base64 of a PNG of reasonable size.
    std::optional<QByteArray> redemptionQRData() const;
};

struct ClientRewardClaimRequest {
    QUuid campaignId;
    RewardSource source = RewardSource::Base;

    QJsonObject toJson() const;
};

struct APIErrorResponse {
    QString error;

    static Result<APIErrorResponse> decode(const QByteArray &data);
};

QByteArray encodeJson(const QJsonObject &object);

} // namespace velmora
