// The answers of the individual calls. Each runs with `mutex` held (see Private::dispatch).

#include "DevServicePrivate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>
#include <QVersionNumber>

using namespace Qt::StringLiterals;

namespace velmora::dev {
namespace {

std::optional<QJsonObject> jsonObject(const QByteArray &body) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

bool isTicket(const QString &text) {
    static const QRegularExpression form(u"^[A-Za-z0-9_-]{40,512}$"_s);
    return form.match(text).hasMatch();
}

// Compares dotted versions numerically ("1.10.0" > "1.9.2"); a suffix such as "-beta" is ignored.
int compareVersions(const QString &left, const QString &right) {
    return QVersionNumber::compare(QVersionNumber::fromString(left),
                                   QVersionNumber::fromString(right));
}

QString rewardCode() {
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString code = u"VW"_s;
    for (int group = 0; group < 3; ++group) {
        code += u'-';
        for (int i = 0; i < 4; ++i)
            code += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
    }
    return code;
}

QJsonObject activationJson(const QString &token, const QString &activatedAtUtc) {
    return {{u"token"_s, token}, {u"activatedAtUtc"_s, activatedAtUtc}};
}

// A digest of the right form that belongs to no file served here.
QString corrupted(const QString &sha256) {
    QString wrong = sha256;
    for (QChar &c : wrong) {
        const int value = QString(c).toInt(nullptr, 16);
        c = QLatin1Char("0123456789abcdef"[(value + 1) % 16]);
    }
    return wrong;
}

} // namespace

QDate DevService::Private::today() const {
    return fixedDate.value_or(QDate::currentDate());
}

Account DevService::Private::issueToken(const QString &deviceId, const QString &deviceName) {
    Account account{randomToken(), deviceId, deviceName, nowUtc()};
    accounts[account.token] = account;
    saveState();
    return account;
}

Reply DevService::Private::registerDevice(const Call &call) {
    const auto body = jsonObject(call.body);
    if (!body)
        return errorReply(400, u"请求内容不是有效的 JSON。"_s);
    const QJsonValue deviceId = body->value(u"deviceId"_s);
    const QJsonValue deviceName = body->value(u"deviceName"_s);
    if (!deviceId.isString() || deviceId.toString().trimmed().isEmpty() || !deviceName.isString())
        return errorReply(400, u"登记信息不完整，请提供设备标识和设备名称。"_s);
    const Account account = issueToken(deviceId.toString(), deviceName.toString());
    return jsonReply(200, activationJson(account.token, account.activatedAtUtc));
}

Reply DevService::Private::activateByInvite(const Call &call, const Account &caller) {
    const auto body = jsonObject(call.body);
    if (!body)
        return errorReply(400, u"请求内容不是有效的 JSON。"_s);
    const QJsonValue ticketValue = body->value(u"handoffTicket"_s);
    const QJsonValue deviceId = body->value(u"deviceId"_s);
    const QJsonValue deviceName = body->value(u"deviceName"_s);
    const QJsonValue keyValue = body->value(u"idempotencyKey"_s);
    if (!ticketValue.isString() || !deviceId.isString() || !deviceName.isString() ||
        !(keyValue.isUndefined() || keyValue.isNull() || keyValue.isString()))
        return errorReply(400, u"激活请求不完整。"_s);
    if (deviceId.toString() != caller.deviceId)
        return errorReply(403, u"设备标识与登记凭证不一致。"_s);
    const QString ticket = ticketValue.toString();
    if (!isTicket(ticket))
        return errorReply(400, u"邀请链接已损坏或无效。"_s);

    const QString key = keyValue.toString();
    std::vector<Redemption> &used = redemptions[ticket];
    if (!key.isEmpty()) {
        for (const Redemption &earlier : used)
            if (earlier.idempotencyKey == key && earlier.deviceId == caller.deviceId)
                return jsonReply(200, activationJson(earlier.token, earlier.activatedAtUtc));
    }

    const bool oneTime = inviteTickets.count(ticket) != 0;
    const auto link = promotionLinks.find(ticket);
    if (!oneTime && link == promotionLinks.end())
        return errorReply(404, u"邀请链接不存在或已失效。"_s);
    if (oneTime && !used.empty())
        return errorReply(409, u"该邀请链接已经使用过了。"_s);
    if (!oneTime) {
        if (link->second.ownerDeviceId == caller.deviceId)
            return errorReply(409, u"不能使用自己的推广链接激活本机。"_s);
        for (const Redemption &earlier : used)
            if (earlier.deviceId == caller.deviceId)
                return errorReply(409, u"本机已经通过该推广链接激活过了。"_s);
        if (int(used.size()) >= maxPromotionActivations)
            return errorReply(409, u"该推广链接的激活次数已经用完。"_s);
    }

    const Account account = issueToken(caller.deviceId, deviceName.toString());
    used.push_back({caller.deviceId, key, account.token, account.activatedAtUtc});
    saveState();
    return jsonReply(200, activationJson(account.token, account.activatedAtUtc));
}

Reply DevService::Private::wallpaperToday(const Call &call) {
    const QDate date = today();
    const CatalogImage *image = catalog.forDate(date);
    if (!image)
        return errorReply(503, u"今天的壁纸尚未发布，请稍后再试。"_s);
    return jsonReply(200,
                     {
                         {u"id"_s, image->id},
                         {u"effectiveDate"_s, date.toString(Qt::ISODate)},
                         {u"fileName"_s, image->fileName},
                         {u"contentType"_s, image->contentType},
                         {u"length"_s, image->length},
                         {u"sha256"_s, call.wrongDigest ? corrupted(image->sha256) : image->sha256},
                         {u"downloadUrl"_s, WallpaperCatalog::downloadPath(image->id)},
                     });
}

// A file answer: the bytes in memory, or the file they came from, streamed.
static Reply fileReply(const QString &contentType, const QByteArray &bytes, const QString &filePath,
                       qint64 length) {
    Reply reply;
    reply.contentType = contentType.toUtf8();
    reply.body = bytes;
    reply.filePath = filePath;
    reply.fileLength = length;
    return reply;
}

Reply DevService::Private::wallpaperFile(const QString &idText) {
    bool ok = false;
    const CatalogImage *image = catalog.byId(idText.toLongLong(&ok));
    if (!ok || !image)
        return errorReply(404, u"壁纸文件不存在。"_s);
    return fileReply(image->contentType, image->bytes, image->filePath, image->length);
}

Reply DevService::Private::latestUpdate(const Call &call) {
    const QString current = call.query.queryItemValue(u"currentVersion"_s, QUrl::FullyDecoded);
    const QString platform = call.query.queryItemValue(u"platform"_s);
    if (current.trimmed().isEmpty())
        return errorReply(400, u"缺少当前版本号。"_s);
    const auto found = updates.find(platform.toLower());
    const UpdatePackage *update = found == updates.end() ? nullptr : &found->second;
    const bool offered = update && compareVersions(update->version, current) > 0;
    if (!offered)
        return jsonReply(200, {{u"isUpdateAvailable"_s, false}, {u"isMandatory"_s, false}});
    return jsonReply(200, {
                              {u"isUpdateAvailable"_s, true},
                              {u"version"_s, update->version},
                              {u"fileName"_s, update->fileName},
                              {u"contentType"_s, update->contentType},
                              {u"length"_s, update->length},
                              {u"sha256"_s, update->sha256},
                              {u"downloadUrl"_s, update->downloadPath},
                              {u"releaseNotes"_s, update->releaseNotes},
                              {u"isMandatory"_s, update->mandatory},
                              {u"publishedAtUtc"_s, nowUtc()},
                              {u"platform"_s, update->platform},
                          });
}

Reply DevService::Private::updateFile(const QString &fileName) {
    for (const auto &[platform, update] : updates)
        if (QUrl::fromPercentEncoding(fileName.toUtf8()) == update.fileName)
            return fileReply(update.contentType, update.bytes, update.filePath, update.length);
    return errorReply(404, u"更新包不存在。"_s);
}

QString DevService::Private::promotionTicketFor(const QString &deviceId) {
    for (const auto &[ticket, link] : promotionLinks)
        if (link.ownerDeviceId == deviceId)
            return ticket;
    const QString ticket = randomToken();
    promotionLinks[ticket] = {deviceId,
                              QDateTime::currentDateTimeUtc().addDays(30).toString(Qt::ISODate)};
    saveState();
    return ticket;
}

int DevService::Private::successfulInvitations(const QString &deviceId) const {
    for (const auto &[ticket, link] : promotionLinks) {
        if (link.ownerDeviceId != deviceId)
            continue;
        const auto used = redemptions.find(ticket);
        return invitationBonus + (used == redemptions.end() ? 0 : int(used->second.size()));
    }
    return invitationBonus;
}

Reply DevService::Private::promotionLink(const Call &call, const Account &caller) {
    const QString ticket = promotionTicketFor(caller.deviceId);
    return jsonReply(200, {
                              {u"link"_s, originFor(call) + u"/r/"_s + ticket},
                              {u"expiresAtUtc"_s, promotionLinks[ticket].expiresAtUtc},
                              {u"maxActivations"_s, maxPromotionActivations},
                              {u"successfulActivations"_s, successfulInvitations(caller.deviceId)},
                          });
}

Reply DevService::Private::promotionPage(const QString &ticket) {
    if (promotionLinks.count(ticket) == 0)
        return errorReply(404, u"推广链接不存在或已失效。"_s);
    const QString invite = u"velmora://activate?ticket="_s + ticket;
    Reply reply;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = u"<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                 "<title>Velmora 每日壁纸</title></head><body>"
                 "<h1>Velmora 每日壁纸</h1><p>已安装客户端？<a href=\"%1\">点此激活</a>。</p>"
                 "</body></html>\n"_s.arg(invite)
                     .toUtf8();
    return reply;
}

QJsonObject DevService::Private::rewardStatus(const QString &deviceId) {
    const std::vector<RewardCode> &codes = rewardCodes[deviceId];
    const auto has = [&codes](const char *source) {
        return std::any_of(codes.begin(), codes.end(), [source](const RewardCode &c) {
            return c.source == QLatin1String(source);
        });
    };
    const int invitations = successfulInvitations(deviceId);
    QJsonArray issued;
    for (const RewardCode &code : codes)
        issued.append(QJsonObject{{u"claimId"_s, code.claimId},
                                  {u"code"_s, code.code},
                                  {u"source"_s, code.source},
                                  {u"issuedAtUtc"_s, code.issuedAtUtc}});
    QJsonObject status{
        {u"campaignId"_s, campaignId},
        {u"campaignName"_s, u"每日壁纸新用户红包"_s},
        {u"enabled"_s, rewardsEnabled},
        {u"successfulInvitations"_s, invitations},
        {u"canClaimBase"_s, rewardsEnabled && !has("base")},
        {u"canClaimReferral"_s, rewardsEnabled && invitations > 0 && !has("referral")},
        {u"stockAvailable"_s, stock > 0},
        {u"redemptionUrl"_s, options.redemptionUrl},
        {u"instructions"_s, u"每台设备可领取一个新用户红包；成功邀请好友后还可再领取一个推荐红包。"
                            "在兑换页面输入兑换码即可使用。"_s},
        {u"codes"_s, issued},
    };
    if (!campaignListed)
        status.remove(u"campaignId"_s);
    if (qr == RewardQr::Generated && !qrPng.isEmpty())
        status.insert(u"redemptionQrBase64"_s, QString::fromLatin1(qrPng.toBase64()));
    if (qr == RewardQr::Undecodable)
        status.insert(u"redemptionQrBase64"_s,
                      QString::fromLatin1(QByteArray("\x89PNG\r\n\x1a\nnot an image").toBase64()));
    return status;
}

Reply DevService::Private::rewards(const Account &caller) {
    return jsonReply(200, rewardStatus(caller.deviceId));
}

Reply DevService::Private::claimReward(const Call &call, const Account &caller) {
    const auto body = jsonObject(call.body);
    if (!body)
        return errorReply(400, u"请求内容不是有效的 JSON。"_s);
    const QUuid requested = QUuid::fromString(body->value(u"campaignId"_s).toString());
    const QString source = body->value(u"source"_s).toString();
    if (requested.isNull() || (source != u"base" && source != u"referral"))
        return errorReply(400, u"领取请求无效。"_s);
    if (requested != QUuid::fromString(campaignId))
        return errorReply(404, u"红包活动不存在或已结束。"_s);
    if (!rewardsEnabled)
        return errorReply(409, u"红包活动暂未开启。"_s);

    std::vector<RewardCode> &codes = rewardCodes[caller.deviceId];
    for (const RewardCode &code : codes)
        if (code.source == source)
            return errorReply(409, u"这个红包已经领取过了。"_s);
    if (source == u"referral" && successfulInvitations(caller.deviceId) == 0)
        return errorReply(409, u"成功邀请好友后才能领取推荐红包。"_s);
    if (stock <= 0)
        return errorReply(409, u"红包已经被领完了。"_s);

    --stock;
    codes.push_back({QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), rewardCode(),
                     source, nowUtc()});
    saveState();
    return jsonReply(200, rewardStatus(caller.deviceId));
}

} // namespace velmora::dev
