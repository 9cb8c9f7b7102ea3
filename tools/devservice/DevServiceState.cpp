// With a data directory, the service keeps what it issued (tokens, tickets, promotion links,
// reward codes and stock) in one JSON file, so a restarted service still knows its clients.

#include "DevServicePrivate.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace velmora::dev {
namespace {

QString stateFile(const QString &dataDir) {
    return QDir(dataDir).filePath(u"devservice-state.json"_s);
}

QString text(const QJsonObject &object, const char *key) {
    return object.value(QLatin1String(key)).toString();
}

} // namespace

void DevService::Private::saveState() const {
    if (options.dataDir.isEmpty())
        return;
    QJsonArray accountList;
    for (const auto &[token, account] : accounts)
        accountList.append(QJsonObject{{u"token"_s, token},
                                       {u"deviceId"_s, account.deviceId},
                                       {u"deviceName"_s, account.deviceName},
                                       {u"activatedAtUtc"_s, account.activatedAtUtc}});
    QJsonArray ticketList;
    for (const QString &ticket : inviteTickets)
        ticketList.append(ticket);
    QJsonObject redemptionMap;
    for (const auto &[ticket, list] : redemptions) {
        QJsonArray uses;
        for (const Redemption &use : list)
            uses.append(QJsonObject{{u"deviceId"_s, use.deviceId},
                                    {u"idempotencyKey"_s, use.idempotencyKey},
                                    {u"token"_s, use.token},
                                    {u"activatedAtUtc"_s, use.activatedAtUtc}});
        if (!uses.isEmpty())
            redemptionMap.insert(ticket, uses);
    }
    QJsonObject linkMap;
    for (const auto &[ticket, link] : promotionLinks)
        linkMap.insert(ticket, QJsonObject{{u"ownerDeviceId"_s, link.ownerDeviceId},
                                           {u"expiresAtUtc"_s, link.expiresAtUtc}});
    QJsonObject codeMap;
    for (const auto &[deviceId, codes] : rewardCodes) {
        QJsonArray list;
        for (const RewardCode &code : codes)
            list.append(QJsonObject{{u"claimId"_s, code.claimId},
                                    {u"code"_s, code.code},
                                    {u"source"_s, code.source},
                                    {u"issuedAtUtc"_s, code.issuedAtUtc}});
        if (!list.isEmpty())
            codeMap.insert(deviceId, list);
    }
    const QJsonObject state{{u"accounts"_s, accountList},
                            {u"inviteTickets"_s, ticketList},
                            {u"redemptions"_s, redemptionMap},
                            {u"promotionLinks"_s, linkMap},
                            {u"rewardCodes"_s, codeMap},
                            {u"campaignId"_s, campaignId},
                            {u"stock"_s, stock}};

    QDir().mkpath(options.dataDir);
    QSaveFile file(stateFile(options.dataDir));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(QJsonDocument(state).toJson(QJsonDocument::Indented));
    file.commit();
}

void DevService::Private::loadState() {
    if (options.dataDir.isEmpty())
        return;
    QFile file(stateFile(options.dataDir));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    if (state.isEmpty())
        return;

    for (const QJsonValue &value : state.value(u"accounts"_s).toArray()) {
        const QJsonObject o = value.toObject();
        const Account account{text(o, "token"), text(o, "deviceId"), text(o, "deviceName"),
                              text(o, "activatedAtUtc")};
        if (!account.token.isEmpty())
            accounts[account.token] = account;
    }
    for (const QJsonValue &value : state.value(u"inviteTickets"_s).toArray())
        inviteTickets.insert(value.toString());
    const QJsonObject redemptionMap = state.value(u"redemptions"_s).toObject();
    for (auto it = redemptionMap.begin(); it != redemptionMap.end(); ++it)
        for (const QJsonValue &value : it.value().toArray()) {
            const QJsonObject o = value.toObject();
            redemptions[it.key()].push_back({text(o, "deviceId"), text(o, "idempotencyKey"),
                                             text(o, "token"), text(o, "activatedAtUtc")});
        }
    const QJsonObject linkMap = state.value(u"promotionLinks"_s).toObject();
    for (auto it = linkMap.begin(); it != linkMap.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        promotionLinks[it.key()] = {text(o, "ownerDeviceId"), text(o, "expiresAtUtc")};
    }
    const QJsonObject codeMap = state.value(u"rewardCodes"_s).toObject();
    for (auto it = codeMap.begin(); it != codeMap.end(); ++it)
        for (const QJsonValue &value : it.value().toArray()) {
            const QJsonObject o = value.toObject();
            rewardCodes[it.key()].push_back(
                {text(o, "claimId"), text(o, "code"), text(o, "source"), text(o, "issuedAtUtc")});
        }
    if (const QString id = text(state, "campaignId"); !id.isEmpty())
        campaignId = id;
    stock = state.value(u"stock"_s).toInt(stock);
}

} // namespace velmora::dev
