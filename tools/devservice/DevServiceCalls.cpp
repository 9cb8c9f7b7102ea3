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
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9_-]{40,512}$"));
    return form.match(text).hasMatch();
}

// Compares dotted versions numerically ("1.10.0" > "1.9.2"); a suffix such as "-beta" is ignored.
int compareVersions(const QString &left, const QString &right) {
    return QVersionNumber::compare(QVersionNumber::fromString(left),
                                   QVersionNumber::fromString(right));
}

QString rewardCode() {
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString code = QStringLiteral("VW");
    for (int group = 0; group < 3; ++group) {
        code += u'-';
        for (int i = 0; i < 4; ++i)
            code += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
    }
    return code;
}

QJsonObject activationJson(const QString &token, const QString &activatedAtUtc) {
    return {{QStringLiteral("token"), token}, {QStringLiteral("activatedAtUtc"), activatedAtUtc}};
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
        return errorReply(400, QStringLiteral("请求内容不是有效的 JSON。"));
    const QJsonValue deviceId = body->value(QStringLiteral("deviceId"));
    const QJsonValue deviceName = body->value(QStringLiteral("deviceName"));
    if (!deviceId.isString() || deviceId.toString().trimmed().isEmpty() || !deviceName.isString())
        return errorReply(400, QStringLiteral("登记信息不完整，请提供设备标识和设备名称。"));
    const Account account = issueToken(deviceId.toString(), deviceName.toString());
    return jsonReply(200, activationJson(account.token, account.activatedAtUtc));
}

Reply DevService::Private::activateByInvite(const Call &call, const Account &caller) {
    const auto body = jsonObject(call.body);
    if (!body)
        return errorReply(400, QStringLiteral("请求内容不是有效的 JSON。"));
    const QJsonValue ticketValue = body->value(QStringLiteral("handoffTicket"));
    const QJsonValue deviceId = body->value(QStringLiteral("deviceId"));
    const QJsonValue deviceName = body->value(QStringLiteral("deviceName"));
    const QJsonValue keyValue = body->value(QStringLiteral("idempotencyKey"));
    if (!ticketValue.isString() || !deviceId.isString() || !deviceName.isString() ||
        !(keyValue.isUndefined() || keyValue.isNull() || keyValue.isString()))
        return errorReply(400, QStringLiteral("激活请求不完整。"));
    if (deviceId.toString() != caller.deviceId)
        return errorReply(403, QStringLiteral("设备标识与登记凭证不一致。"));
    const QString ticket = ticketValue.toString();
    if (!isTicket(ticket))
        return errorReply(400, QStringLiteral("邀请链接已损坏或无效。"));

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
        return errorReply(404, QStringLiteral("邀请链接不存在或已失效。"));
    if (oneTime && !used.empty())
        return errorReply(409, QStringLiteral("该邀请链接已经使用过了。"));
    if (!oneTime) {
        if (link->second.ownerDeviceId == caller.deviceId)
            return errorReply(409, QStringLiteral("不能使用自己的推广链接激活本机。"));
        for (const Redemption &earlier : used)
            if (earlier.deviceId == caller.deviceId)
                return errorReply(409, QStringLiteral("本机已经通过该推广链接激活过了。"));
        if (int(used.size()) >= maxPromotionActivations)
            return errorReply(409, QStringLiteral("该推广链接的激活次数已经用完。"));
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
        return errorReply(503, QStringLiteral("今天的壁纸尚未发布，请稍后再试。"));
    return jsonReply(
        200,
        {
            {QStringLiteral("id"), image->id},
            {QStringLiteral("effectiveDate"), date.toString(Qt::ISODate)},
            {QStringLiteral("fileName"), image->fileName},
            {QStringLiteral("contentType"), image->contentType},
            {QStringLiteral("length"), image->length},
            {QStringLiteral("sha256"), call.wrongDigest ? corrupted(image->sha256) : image->sha256},
            {QStringLiteral("downloadUrl"), WallpaperCatalog::downloadPath(image->id)},
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
        return errorReply(404, QStringLiteral("壁纸文件不存在。"));
    return fileReply(image->contentType, image->bytes, image->filePath, image->length);
}

Reply DevService::Private::latestUpdate(const Call &call) {
    const QString current =
        call.query.queryItemValue(QStringLiteral("currentVersion"), QUrl::FullyDecoded);
    const QString platform = call.query.queryItemValue(QStringLiteral("platform"));
    if (current.trimmed().isEmpty())
        return errorReply(400, QStringLiteral("缺少当前版本号。"));
    const auto found = updates.find(platform.toLower());
    const UpdatePackage *update = found == updates.end() ? nullptr : &found->second;
    const bool offered = update && compareVersions(update->version, current) > 0;
    if (!offered)
        return jsonReply(200, {{QStringLiteral("isUpdateAvailable"), false},
                               {QStringLiteral("isMandatory"), false}});
    return jsonReply(200, {
                              {QStringLiteral("isUpdateAvailable"), true},
                              {QStringLiteral("version"), update->version},
                              {QStringLiteral("fileName"), update->fileName},
                              {QStringLiteral("contentType"), update->contentType},
                              {QStringLiteral("length"), update->length},
                              {QStringLiteral("sha256"), update->sha256},
                              {QStringLiteral("downloadUrl"), update->downloadPath},
                              {QStringLiteral("releaseNotes"), update->releaseNotes},
                              {QStringLiteral("isMandatory"), update->mandatory},
                              {QStringLiteral("publishedAtUtc"), nowUtc()},
                              {QStringLiteral("platform"), update->platform},
                          });
}

Reply DevService::Private::updateFile(const QString &fileName) {
    for (const auto &[platform, update] : updates)
        if (QUrl::fromPercentEncoding(fileName.toUtf8()) == update.fileName)
            return fileReply(update.contentType, update.bytes, update.filePath, update.length);
    return errorReply(404, QStringLiteral("更新包不存在。"));
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
    return jsonReply(
        200, {
                 {QStringLiteral("link"), originFor(call) + QStringLiteral("/r/") + ticket},
                 {QStringLiteral("expiresAtUtc"), promotionLinks[ticket].expiresAtUtc},
                 {QStringLiteral("maxActivations"), maxPromotionActivations},
                 {QStringLiteral("successfulActivations"), successfulInvitations(caller.deviceId)},
             });
}

Reply DevService::Private::promotionPage(const QString &ticket) {
    if (promotionLinks.count(ticket) == 0)
        return errorReply(404, QStringLiteral("推广链接不存在或已失效。"));
    const QString invite = QStringLiteral("velmora://activate?ticket=") + ticket;
    Reply reply;
    reply.contentType = "text/html; charset=utf-8";
    reply.body =
        QStringLiteral("<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                       "<title>Velmora 每日壁纸</title></head><body>"
                       "<h1>Velmora 每日壁纸</h1><p>已安装客户端？<a href=\"%1\">点此激活</a>。</p>"
                       "</body></html>\n")
            .arg(invite)
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
        issued.append(QJsonObject{{QStringLiteral("claimId"), code.claimId},
                                  {QStringLiteral("code"), code.code},
                                  {QStringLiteral("source"), code.source},
                                  {QStringLiteral("issuedAtUtc"), code.issuedAtUtc}});
    QJsonObject status{
        {QStringLiteral("campaignId"), campaignId},
        {QStringLiteral("campaignName"), QStringLiteral("每日壁纸新用户红包")},
        {QStringLiteral("enabled"), rewardsEnabled},
        {QStringLiteral("successfulInvitations"), invitations},
        {QStringLiteral("canClaimBase"), rewardsEnabled && !has("base")},
        {QStringLiteral("canClaimReferral"), rewardsEnabled && invitations > 0 && !has("referral")},
        {QStringLiteral("stockAvailable"), stock > 0},
        {QStringLiteral("redemptionUrl"), options.redemptionUrl},
        {QStringLiteral("instructions"),
         QStringLiteral("每台设备可领取一个新用户红包；成功邀请好友后还可再领取一个推荐红包。"
                        "在兑换页面输入兑换码即可使用。")},
        {QStringLiteral("codes"), issued},
    };
    if (!campaignListed)
        status.remove(QStringLiteral("campaignId"));
    if (qr == RewardQr::Generated && !qrPng.isEmpty())
        status.insert(QStringLiteral("redemptionQrBase64"), QString::fromLatin1(qrPng.toBase64()));
    if (qr == RewardQr::Undecodable)
        status.insert(QStringLiteral("redemptionQrBase64"),
                      QString::fromLatin1(QByteArray("\x89PNG\r\n\x1a\nnot an image").toBase64()));
    return status;
}

Reply DevService::Private::rewards(const Account &caller) {
    return jsonReply(200, rewardStatus(caller.deviceId));
}

Reply DevService::Private::claimReward(const Call &call, const Account &caller) {
    const auto body = jsonObject(call.body);
    if (!body)
        return errorReply(400, QStringLiteral("请求内容不是有效的 JSON。"));
    const QUuid requested = QUuid::fromString(body->value(QStringLiteral("campaignId")).toString());
    const QString source = body->value(QStringLiteral("source")).toString();
    if (requested.isNull() || (source != u"base" && source != u"referral"))
        return errorReply(400, QStringLiteral("领取请求无效。"));
    if (requested != QUuid::fromString(campaignId))
        return errorReply(404, QStringLiteral("红包活动不存在或已结束。"));
    if (!rewardsEnabled)
        return errorReply(409, QStringLiteral("红包活动暂未开启。"));

    std::vector<RewardCode> &codes = rewardCodes[caller.deviceId];
    for (const RewardCode &code : codes)
        if (code.source == source)
            return errorReply(409, QStringLiteral("这个红包已经领取过了。"));
    if (source == u"referral" && successfulInvitations(caller.deviceId) == 0)
        return errorReply(409, QStringLiteral("成功邀请好友后才能领取推荐红包。"));
    if (stock <= 0)
        return errorReply(409, QStringLiteral("红包已经被领完了。"));

    --stock;
    codes.push_back({QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), rewardCode(),
                     source, nowUtc()});
    saveState();
    return jsonReply(200, rewardStatus(caller.deviceId));
}

} // namespace velmora::dev
