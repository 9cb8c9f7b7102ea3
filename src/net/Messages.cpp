#include "Messages.h"

#include "JsonFields.h"
#include "UrlComponents.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr qsizetype kMaximumQrBase64Bytes = 3'000'000;

void insertIfPresent(QJsonObject &object, const char *key, const std::optional<QString> &value) {
    if (value)
        object.insert(QLatin1String(key), *value);
}

void insertIfPresent(QJsonObject &object, const char *key, const std::optional<qint64> &value) {
    if (value)
        object.insert(QLatin1String(key), *value);
}

template <typename T> Result<T> decodeObject(const QByteArray &data) {
    Result<QJsonObject> object = parseJsonObject(data);
    if (!object)
        return object.error();
    return T::fromJson(*object);
}

Result<ClientRewardCodeResponse> codeFromJson(const QJsonValue &value) {
    if (!value.isObject())
        return Error::foreign(u"服务器数据字段“codes”的类型不正确。"_s);
    JsonFields fields(value.toObject());
    ClientRewardCodeResponse code;
    code.claimId = fields.uuid("claimId");
    code.code = fields.string("code");
    code.source = fields.string("source");
    code.issuedAtUtc = fields.string("issuedAtUtc");
    return fields.finish(code);
}

// Standard Base64 (RFC 4648 alphabet with "=" padding) and nothing else: no white space, no
// line breaks, no URL-safe letters.
std::optional<QByteArray> strictBase64(const QByteArray &text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return decoded.decoded;
}

} // namespace

QByteArray encodeJson(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject ClientRegistrationRequest::toJson() const {
    return {{u"deviceId"_s, deviceId}, {u"deviceName"_s, deviceName}};
}

QJsonObject InviteActivationRequest::toJson() const {
    QJsonObject object{{u"handoffTicket"_s, handoffTicket},
                       {u"deviceId"_s, deviceId},
                       {u"deviceName"_s, deviceName}};
    insertIfPresent(object, "idempotencyKey", idempotencyKey);
    return object;
}

Result<ActivationResponse> ActivationResponse::decode(const QByteArray &data) {
    Result<QJsonObject> object = parseJsonObject(data);
    if (!object)
        return object.error();
    JsonFields fields(*object);
    ActivationResponse response;
    response.token = fields.string("token");
    response.activatedAtUtc = fields.string("activatedAtUtc");
    return fields.finish(response);
}

Result<WallpaperMetadata> WallpaperMetadata::decode(const QByteArray &data) {
    return decodeObject<WallpaperMetadata>(data);
}

Result<WallpaperMetadata> WallpaperMetadata::fromJson(const QJsonObject &object) {
    JsonFields fields(object);
    WallpaperMetadata metadata;
    metadata.id = fields.integer("id");
    metadata.effectiveDate = fields.string("effectiveDate");
    metadata.fileName = fields.string("fileName");
    metadata.contentType = fields.string("contentType");
    metadata.length = fields.integer("length");
    metadata.sha256 = fields.string("sha256");
    metadata.downloadURL = fields.string("downloadUrl");
    return fields.finish(metadata);
}

QJsonObject WallpaperMetadata::toJson() const {
    return {{u"id"_s, id},
            {u"effectiveDate"_s, effectiveDate},
            {u"fileName"_s, fileName},
            {u"contentType"_s, contentType},
            {u"length"_s, length},
            {u"sha256"_s, sha256},
            {u"downloadUrl"_s, downloadURL}};
}

Result<SoftwareUpdate> SoftwareUpdate::decode(const QByteArray &data) {
    Result<QJsonObject> object = parseJsonObject(data);
    if (!object)
        return object.error();
    JsonFields fields(*object);
    SoftwareUpdate update;
    update.isUpdateAvailable = fields.boolean("isUpdateAvailable");
    update.version = fields.optionalString("version");
    update.fileName = fields.optionalString("fileName");
    update.contentType = fields.optionalString("contentType");
    update.length = fields.optionalInteger("length");
    update.sha256 = fields.optionalString("sha256");
    update.downloadURL = fields.optionalString("downloadUrl");
    update.releaseNotes = fields.optionalString("releaseNotes");
    update.isMandatory = fields.boolean("isMandatory");
    update.publishedAtUtc = fields.optionalString("publishedAtUtc");
    update.platform = fields.optionalString("platform");
    return fields.finish(update);
}

QJsonObject SoftwareUpdate::toJson() const {
    QJsonObject object{{u"isUpdateAvailable"_s, isUpdateAvailable},
                       {u"isMandatory"_s, isMandatory}};
    insertIfPresent(object, "version", version);
    insertIfPresent(object, "fileName", fileName);
    insertIfPresent(object, "contentType", contentType);
    insertIfPresent(object, "length", length);
    insertIfPresent(object, "sha256", sha256);
    insertIfPresent(object, "downloadUrl", downloadURL);
    insertIfPresent(object, "releaseNotes", releaseNotes);
    insertIfPresent(object, "publishedAtUtc", publishedAtUtc);
    insertIfPresent(object, "platform", platform);
    return object;
}

Result<ClientPromotionLinkResponse> ClientPromotionLinkResponse::decode(const QByteArray &data) {
    Result<QJsonObject> object = parseJsonObject(data);
    if (!object)
        return object.error();
    JsonFields fields(*object);
    ClientPromotionLinkResponse response;
    response.link = fields.string("link");
    response.expiresAtUtc = fields.optionalString("expiresAtUtc");
    response.maxActivations = fields.integer("maxActivations");
    response.successfulActivations = fields.integer("successfulActivations");
    return fields.finish(response);
}

QJsonObject ClientPromotionLinkResponse::toJson() const {
    QJsonObject object{{u"link"_s, link},
                       {u"maxActivations"_s, maxActivations},
                       {u"successfulActivations"_s, successfulActivations}};
    insertIfPresent(object, "expiresAtUtc", expiresAtUtc);
    return object;
}

QString rewardSourceText(RewardSource source) {
    return source == RewardSource::Base ? u"base"_s : u"referral"_s;
}

std::optional<RewardSource> rewardSourceFromText(const QString &text) {
    if (text == u"base")
        return RewardSource::Base;
    if (text == u"referral")
        return RewardSource::Referral;
    return std::nullopt;
}

QJsonObject ClientRewardCodeResponse::toJson() const {
    return {{u"claimId"_s, uuidText(claimId)},
            {u"code"_s, code},
            {u"source"_s, source},
            {u"issuedAtUtc"_s, issuedAtUtc}};
}

Result<ClientRewardStatusResponse> ClientRewardStatusResponse::decode(const QByteArray &data) {
    Result<QJsonObject> object = parseJsonObject(data);
    if (!object)
        return object.error();
    JsonFields fields(*object);
    ClientRewardStatusResponse status;
    status.campaignId = fields.optionalUuid("campaignId");
    status.campaignName = fields.string("campaignName");
    status.enabled = fields.boolean("enabled");
    status.successfulInvitations = fields.integer("successfulInvitations");
    status.canClaimBase = fields.boolean("canClaimBase");
    status.canClaimReferral = fields.boolean("canClaimReferral");
    status.stockAvailable = fields.boolean("stockAvailable");
    status.redemptionUrl = fields.optionalString("redemptionUrl");
    status.instructions = fields.string("instructions");
    const QJsonValue codes = object->value(u"codes"_s);
    if (!codes.isArray()) {
        fields.fail("codes");
    } else {
        for (const QJsonValue &element : codes.toArray()) {
            Result<ClientRewardCodeResponse> code = codeFromJson(element);
            if (!code)
                return code.error();
            status.codes.push_back(*code);
        }
    }
    status.redemptionQrBase64 = fields.optionalString("redemptionQrBase64");
    return fields.finish(status);
}

QJsonObject ClientRewardStatusResponse::toJson() const {
    QJsonArray codeArray;
    for (const ClientRewardCodeResponse &code : codes)
        codeArray.append(code.toJson());
    QJsonObject object{{u"campaignName"_s, campaignName},
                       {u"enabled"_s, enabled},
                       {u"successfulInvitations"_s, successfulInvitations},
                       {u"canClaimBase"_s, canClaimBase},
                       {u"canClaimReferral"_s, canClaimReferral},
                       {u"stockAvailable"_s, stockAvailable},
                       {u"instructions"_s, instructions},
                       {u"codes"_s, codeArray}};
    if (campaignId)
        object.insert(u"campaignId"_s, uuidText(*campaignId));
    insertIfPresent(object, "redemptionUrl", redemptionUrl);
    insertIfPresent(object, "redemptionQrBase64", redemptionQrBase64);
    return object;
}

bool ClientRewardStatusResponse::shouldClaimBaseOnOpen() const {
    const bool issued = std::any_of(codes.begin(), codes.end(),
                                    [](const auto &code) { return code.source == u"base"; });
    return enabled && campaignId && stockAvailable && canClaimBase && !issued;
}

bool ClientRewardStatusResponse::canRequestReferral() const {
    const bool issued = std::any_of(codes.begin(), codes.end(),
                                    [](const auto &code) { return code.source == u"referral"; });
    return enabled && campaignId && stockAvailable && canClaimReferral && !issued;
}

std::optional<QUrl> ClientRewardStatusResponse::safeRedemptionURL() const {
    if (!redemptionUrl)
        return std::nullopt;
    const std::optional<UrlComponents> url = UrlComponents::parse(*redemptionUrl);
    if (!url || !url->scheme || url->scheme->toLower() != u"https" || !url->host ||
        url->host->isEmpty() || url->user || url->password)
        return std::nullopt;
    const QUrl parsed(*redemptionUrl, QUrl::StrictMode);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed;
}

std::optional<QByteArray> ClientRewardStatusResponse::redemptionQRData() const {
    if (!redemptionQrBase64)
        return std::nullopt;
    const QByteArray text = redemptionQrBase64->toUtf8();
    if (text.size() > kMaximumQrBase64Bytes)
        return std::nullopt;
    const std::optional<QByteArray> bytes = strictBase64(text);
    static const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);
    if (!bytes || !bytes->startsWith(pngSignature))
        return std::nullopt;
    return bytes;
}

QJsonObject ClientRewardClaimRequest::toJson() const {
    return {{u"campaignId"_s, uuidText(campaignId)}, {u"source"_s, rewardSourceText(source)}};
}

Result<APIErrorResponse> APIErrorResponse::decode(const QByteArray &data) {
    Result<QJsonObject> object = parseJsonObject(data);
    if (!object)
        return object.error();
    JsonFields fields(*object);
    APIErrorResponse response;
    response.error = fields.string("error");
    return fields.finish(response);
}

} // namespace velmora
