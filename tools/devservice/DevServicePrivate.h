#pragma once

#include <map>

// Shared between the server plumbing (DevService.cpp) and the answers to each call
// (DevServiceCalls.cpp). Everything below `mutex` is guarded by it.

#include "DevService.h"
#include "WallpaperCatalog.h"

#include <QJsonObject>
#include <QUrlQuery>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace httplib {
class Server;
}

namespace velmora::dev {

// An answer before it goes on the wire: bytes in memory, or a file streamed from disk.
struct Reply {
    int status = 200;
    QByteArray contentType = "application/json; charset=utf-8";
    QByteArray body;
    QString filePath;
    qint64 fileLength = 0;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
};

// A request as the call handlers see it.
struct Call {
    QString method;
    QString path;
    QString rawQuery;
    QUrlQuery query;
    std::map<QString, QString> headers; // lower-cased names
    QByteArray body;
    bool wrongDigest = false;
};

struct Account {
    QString token;
    QString deviceId;
    QString deviceName;
    QString activatedAtUtc;
};

// One successful use of a ticket, kept so that a repeated idempotency key gets the same answer.
struct Redemption {
    QString deviceId;
    QString idempotencyKey;
    QString token;
    QString activatedAtUtc;
};

struct PromotionLink {
    QString ownerDeviceId;
    QString expiresAtUtc;
};

struct RewardCode {
    QString claimId;
    QString code;
    QString source;
    QString issuedAtUtc;
};

struct DevService::Private {
    explicit Private(Options opts);
    ~Private();

    // DevService.cpp
    Reply dispatch(const Call &call);
    const Account *authenticate(const Call &call) const;
    QString originFor(const Call &call) const;

    // DevServiceCalls.cpp
    Reply registerDevice(const Call &call);
    Reply activateByInvite(const Call &call, const Account &caller);
    Reply wallpaperToday(const Call &call);
    Reply wallpaperFile(const QString &idText);
    Reply latestUpdate(const Call &call);
    Reply updateFile(const QString &fileName);
    Reply promotionLink(const Call &call, const Account &caller);
    Reply promotionPage(const QString &ticket);
    Reply rewards(const Account &caller);
    Reply claimReward(const Call &call, const Account &caller);
    QJsonObject rewardStatus(const QString &deviceId);
    Account issueToken(const QString &deviceId, const QString &deviceName);
    QString promotionTicketFor(const QString &deviceId);
    int successfulInvitations(const QString &deviceId) const;
    QDate today() const;

    // DevServiceState.cpp
    void loadState();
    void saveState() const;

    Options options;
    bool tls = false;

    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<int> port{0};

    mutable std::mutex mutex;
    std::condition_variable stopping; // wakes delayed answers when the service stops
    bool stopRequested = false;

    std::vector<RecordedRequest> log;
    std::map<QString, Fault> faults;

    std::map<QString, Account> accounts;                    // by token
    std::set<QString> inviteTickets;                        // one-time tickets
    std::map<QString, std::vector<Redemption>> redemptions; // by ticket
    std::map<QString, PromotionLink> promotionLinks;        // by ticket
    std::map<QString, std::vector<RewardCode>> rewardCodes; // by device id
    QString campaignId;
    int stock = 100;
    bool rewardsEnabled = true;
    bool campaignListed = true;
    RewardQr qr = RewardQr::Generated;
    int invitationBonus = 0;
    QByteArray qrPng;

    WallpaperCatalog catalog;
    std::optional<QDate> fixedDate;
    std::map<QString, UpdatePackage> updates; // by the platform they are offered to
};

QByteArray jsonBytes(const QJsonObject &object);
Reply jsonReply(int status, const QJsonObject &object);
Reply errorReply(int status, const QString &message);
QString nowUtc();
QString randomToken(); // 43 characters of the URL-safe Base64 alphabet

inline constexpr int maxPromotionActivations = 20;

} // namespace velmora::dev
