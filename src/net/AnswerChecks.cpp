#include "AnswerChecks.h"

#include "PromotionHandoff.h"
#include "ServerURL.h"
#include "UrlComponents.h"
#include "core/Text.h"
#include "platform/HexDigits.h"

#include <algorithm>

namespace velmora::AnswerChecks {

namespace {

// "2026-12-06" is ten; room for a service that adds a weekday or a time.
constexpr qsizetype kDateLength = 64;
// "1.4.0" or "2.0.0-beta.3+build.20261207", with room to spare.
constexpr qsizetype kVersionLength = 64;
// Release notes are shown in the update question, above its buttons.
constexpr qsizetype kReleaseNoteLines = 20;
constexpr qsizetype kReleaseNoteLineLength = 200;

ClientError malformed(const char *sentence) {
    return ClientError::malformedData(QString::fromUtf8(sentence));
}

bool isOwnPromotionPage(const QString &text, const QUrl &origin) {
    const std::optional<UrlComponents> link = UrlComponents::parse(text);
    if (!link || !link->scheme || !link->host || link->user || link->password || link->query ||
        link->fragment || !link->path.startsWith(u"/r/"))
        return false;
    const QString ticket = link->path.mid(3);
    return ServerURL::equalOrigin(QUrl(text, QUrl::StrictMode), origin) &&
           PromotionHandoff::normalizeTicket(ticket) == ticket;
}

} // namespace

Result<ActivationState> credential(const QByteArray &body, const QString &server,
                                   const QString &deviceID, const QString &deviceName,
                                   const char *incomplete) {
    const Result<ActivationResponse> response = ActivationResponse::decode(body);
    if (!response)
        return response.error();
    // The token goes into a request header as issued: anything but printable ASCII (a line
    // break above all) could add headers of the service's choosing to every later request.
    const QString &token = response->token;
    const bool printableAscii =
        std::all_of(token.begin(), token.end(), [](QChar c) { return c >= u' ' && c <= u'~'; });
    if (Text::isBlank(token) || !printableAscii || response->activatedAtUtc.isEmpty())
        return malformed(incomplete);
    return ActivationState{server, deviceID, deviceName, response->token, response->activatedAtUtc};
}

Result<WallpaperMetadata> todayDescriptor(const QByteArray &body) {
    Result<WallpaperMetadata> metadata = WallpaperMetadata::decode(body);
    if (!metadata)
        return metadata;
    // The date is shown and logged as it stands.
    metadata->effectiveDate = Text::displaySafe(metadata->effectiveDate, kDateLength);
    if (metadata->id < 1 || metadata->fileName.isEmpty() ||
        !HexDigits::isHex(metadata->sha256, 64) || metadata->downloadURL.isEmpty())
        return malformed("服务器壁纸响应不完整。");
    return metadata;
}

Result<SoftwareUpdate> updateOffer(const QByteArray &body) {
    Result<SoftwareUpdate> update = SoftwareUpdate::decode(body);
    // The version goes into the log, the status line and the update alerts; the notes into the
    // update question.
    if (update && update->version) {
        update->version = Text::displaySafe(*update->version, kVersionLength);
        if (update->version->isEmpty())
            update->version.reset();
    }
    if (update && update->releaseNotes) {
        update->releaseNotes = Text::displaySafeLines(*update->releaseNotes, kReleaseNoteLines,
                                                      kReleaseNoteLineLength);
        if (update->releaseNotes->isEmpty())
            update->releaseNotes.reset();
    }
    return update;
}

Result<ClientPromotionLinkResponse> promotionLink(const QByteArray &body, const QUrl &origin) {
    Result<ClientPromotionLinkResponse> response = ClientPromotionLinkResponse::decode(body);
    if (response && !isOwnPromotionPage(response->link, origin))
        return malformed("服务器返回的推广链接无效。");
    return response;
}

Result<ClientRewardStatusResponse> rewardStatus(const QByteArray &body) {
    Result<ClientRewardStatusResponse> status = ClientRewardStatusResponse::decode(body);
    if (!status)
        return malformed("暂时无法读取红包活动信息，请稍后重试。");
    return status;
}

} // namespace velmora::AnswerChecks
