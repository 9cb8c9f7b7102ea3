#pragma once

// The loopback development service: every api/client/ call of the daily-wallpaper service,
// with in-memory tokens, a daily wallpaper from a folder, an update package, a promotion link,
// a reward campaign, and fault injection for tests. It only ever binds loopback addresses.

#include <QByteArray>
#include <QDate>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace velmora::dev {

// One request as it arrived, for tests that check what went over the wire.
struct RecordedRequest {
    QString method;
    QString path;                       // without the query, e.g. "/api/client/register"
    QString query;                      // raw, without "?"
    std::map<QString, QString> headers; // names lower-cased
    QByteArray body;
    int status = 0; // what the service answered
};

// What to do instead of (or around) the normal answer for one path.
struct Fault {
    // Answer this status with this body instead of the normal answer. Status alone: a JSON
    // error body; body alone: status 200 (e.g. a malformed success).
    std::optional<int> status;
    std::optional<QByteArray> body; // JSON unless contentType says otherwise
    QByteArray contentType = "application/json";
    int delayMs = 0;                     // wait before answering
    std::optional<QString> redirectTo;   // answer 302 with this Location
    std::optional<qint64> truncateAfter; // announce the full length, send this many bytes, close
    bool wrongDigest = false;            // wallpaper/today announces a digest that does not match
    std::optional<qint64> stallAfter;    // send this many bytes, then nothing until stop()
};

struct WallpaperInfo {
    qint64 id = 0;
    QString effectiveDate;
    QString fileName;
    QString contentType;
    qint64 length = 0;
    QString sha256;       // lower-case hex of the bytes served
    QString downloadPath; // origin-relative, e.g. "/api/client/files/wallpaper/1"
};

// A client release offered by update/latest to clients that report an older version.
struct UpdatePackage {
    QString version;  // e.g. "1.4.0"; compared numerically, part by part
    QString fileName; // empty: "VelmoraWallpaper-<version>-macos.zip"
    QString contentType = "application/zip";
    QByteArray bytes; // the package, unless filePath is set
    QString filePath; // serve this file instead of bytes
    QString releaseNotes;
    bool mandatory = false;
    QString platform = "macos"; // what the descriptor says
    // The clients it is offered to, by the platform their query names; empty: `platform`. A
    // hostile service may offer one platform's clients another's package.
    QString offeredTo;
    // Filled in by the service once the package is set.
    qint64 length = 0;
    QString sha256;
    QString downloadPath; // "/api/client/files/update/<fileName>"
};

class DevService {
public:
    struct Options {
        QString wallpaperDir; // images to serve, one per day; empty: the bundled samples
        QString dataDir;      // where state may be kept; empty: memory only
        QString certFile;     // with keyFile: serve HTTPS
        QString keyFile;
        QString bindAddress;   // empty: 127.0.0.1; anything but 127.0.0.1/localhost is refused
        QString redemptionUrl; // where reward codes are redeemed; empty: an https example address
    };

    explicit DevService(Options options = {});
    ~DevService(); // stops the service
    DevService(const DevService &) = delete;
    DevService &operator=(const DevService &) = delete;

    // Binds 127.0.0.1 (port 0: an ephemeral one) and serves on a thread of its own.
    // Refuses (false) a bind address that is not loopback, a busy port, or unusable TLS files.
    bool start(int port = 0);
    void stop();
    int port() const;
    QString origin() const; // "http://127.0.0.1:PORT" or "https://localhost:PORT"

    std::vector<RecordedRequest> requests() const;
    void clearRequests();

    void setFault(const QString &path, Fault fault); // path as in RecordedRequest::path
    void clearFaults();

    // A fresh one-time invite ticket that activate-by-invite will accept once.
    QString createInviteTicket();
    // Whether `token` is one the service issued and still accepts.
    bool isValidToken(const QString &token) const;
    void revokeAllTokens();

    WallpaperInfo todayWallpaper() const;
    // Serve the wallpaper of `date` from now on (default: the current local date).
    void setToday(QDate date);
    // Serve these bytes as today's wallpaper, under a new id, until called again.
    WallpaperInfo setTodayWallpaper(const QString &fileName, const QByteArray &bytes,
                                    const QString &contentType);

    // Offer this package from update/latest to the clients of its platform (one package per
    // platform); nullopt: no update is offered to anyone (the default).
    // Returns the package with length, digest and download path filled in.
    std::optional<UpdatePackage> setUpdatePackage(std::optional<UpdatePackage> package);
    // A package of `size` deterministic bytes, for demos and benchmarks.
    static UpdatePackage syntheticUpdate(const QString &version, qint64 size = 1 << 20);

    QString rewardCampaignId() const; // upper-case UUID
    int rewardStock() const;
    void setRewardStock(int stock);
    void setRewardsEnabled(bool enabled);

    // The reward campaign as a client can meet it, for demos and tests of the rewards window.
    // By default the campaign has its id, the redemption address of Options and a QR image of
    // that address.
    enum class RewardQr { Generated, Absent, Undecodable };
    // false: statuses carry no campaignId (claims of the id still answer as before).
    void setRewardCampaignListed(bool listed);
    // Served exactly as given, also when a client must refuse it ("javascript:…", http).
    // Regenerates the QR image of the address.
    void setRewardRedemptionUrl(const QString &url);
    // Absent: no "redemptionQrBase64"; Undecodable: a PNG signature followed by bytes that no
    // PNG reader accepts.
    void setRewardQr(RewardQr qr);
    // Successful invitations credited to every device on top of the real ones, so a referral
    // code can be claimed without a second client.
    void setRewardInvitationBonus(int count);

    // Writes a self-signed certificate for localhost and 127.0.0.1 and its private key (PEM).
    static bool writeSelfSignedCertificate(const QString &certFile, const QString &keyFile,
                                           QString *error = nullptr);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace velmora::dev
