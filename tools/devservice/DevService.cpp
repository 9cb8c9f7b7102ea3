#include "DevService.h"
#include "DevServicePrivate.h"
#include "QrCodePng.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUuid>

#include <httplib.h>

#include <chrono>

#include <sys/socket.h>

using namespace Qt::StringLiterals;

#ifndef VELMORA_SAMPLE_WALLPAPERS
#define VELMORA_SAMPLE_WALLPAPERS ""
#endif

namespace velmora::dev {

QByteArray jsonBytes(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Reply jsonReply(int status, const QJsonObject &object) {
    Reply reply;
    reply.status = status;
    reply.body = jsonBytes(object);
    return reply;
}

Reply errorReply(int status, const QString &message) {
    return jsonReply(status, QJsonObject{{u"error"_s, message}});
}

QString nowUtc() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString randomToken() {
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

namespace {

constexpr qint64 streamChunk = 64 * 1024;

bool isLoopbackBindAddress(const QString &address) {
    return address.isEmpty() || address == u"127.0.0.1" || address == u"localhost";
}

Call toCall(const httplib::Request &request) {
    Call call;
    call.method = QString::fromStdString(request.method);
    call.path = QString::fromStdString(request.path);
    const std::string &target = request.target;
    const size_t question = target.find('?');
    if (question != std::string::npos) {
        call.rawQuery = QString::fromStdString(target.substr(question + 1));
        call.query.setQuery(call.rawQuery);
    }
    for (const auto &[name, value] : request.headers)
        call.headers[QString::fromStdString(name).toLower()] = QString::fromStdString(value);
    call.body = QByteArray::fromStdString(request.body);
    return call;
}

// Streams `bytes` or the file, stopping (and so closing the connection) after `limit` bytes,
// once `stall` returns when there is one.
httplib::ContentProvider provider(const Reply &reply, qint64 limit, std::function<void()> stall) {
    if (reply.filePath.isEmpty()) {
        const QByteArray bytes = reply.body;
        return [bytes, limit, stall](size_t offset, size_t length, httplib::DataSink &sink) {
            const qint64 start = qint64(offset);
            if (start >= limit) {
                if (stall)
                    stall();
                return false;
            }
            const qint64 count = std::min({qint64(length), streamChunk, limit - start});
            return sink.write(bytes.constData() + start, size_t(count));
        };
    }
    auto file = std::make_shared<QFile>(reply.filePath);
    return [file, limit, stall](size_t offset, size_t length, httplib::DataSink &sink) {
        const qint64 start = qint64(offset);
        if (start >= limit) {
            if (stall)
                stall();
            return false;
        }
        if (!file->isOpen() && !file->open(QIODevice::ReadOnly))
            return false;
        if (file->pos() != start && !file->seek(start))
            return false;
        const QByteArray chunk = file->read(std::min({qint64(length), streamChunk, limit - start}));
        return !chunk.isEmpty() && sink.write(chunk.constData(), size_t(chunk.size()));
    };
}

void writeReply(const Reply &reply, const Fault &fault, std::function<void()> stall,
                httplib::Response &response) {
    response.status = reply.status;
    for (const auto &[name, value] : reply.headers)
        response.set_header(name.toStdString(), value.toStdString());
    const std::string contentType = reply.contentType.toStdString();
    const qint64 length = reply.filePath.isEmpty() ? reply.body.size() : reply.fileLength;
    // Every body goes through a content provider with a known length: httplib then sends it
    // as it is, never compressed, so what a test set up is exactly what crosses the wire.
    const std::optional<qint64> cut = fault.stallAfter ? fault.stallAfter : fault.truncateAfter;
    const qint64 limit = cut ? std::clamp<qint64>(*cut, 0, length) : length;
    if (length == 0) {
        response.set_content(std::string(), contentType);
        return;
    }
    response.set_content_provider(size_t(length), contentType,
                                  provider(reply, limit, fault.stallAfter ? stall : nullptr));
}

} // namespace

DevService::Private::Private(Options opts)
    : options(std::move(opts)) {
    if (options.redemptionUrl.isEmpty())
        options.redemptionUrl = u"https://redeem.velmora.example/redeem"_s;
}

DevService::Private::~Private() = default;

DevService::DevService(Options options)
    : d(std::make_unique<Private>(std::move(options))) {
    d->tls = !d->options.certFile.isEmpty() && !d->options.keyFile.isEmpty();
    d->campaignId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    d->catalog.load(d->options.wallpaperDir.isEmpty() ? QString::fromUtf8(VELMORA_SAMPLE_WALLPAPERS)
                                                      : d->options.wallpaperDir);
    d->qrPng = qrCodePng(d->options.redemptionUrl);
    d->loadState();
}

DevService::~DevService() {
    stop();
}

bool DevService::start(int port) {
    stop();
    if (!isLoopbackBindAddress(d->options.bindAddress) || port < 0 || port > 65535)
        return false;

    if (d->tls) {
        auto server =
            std::make_unique<httplib::SSLServer>(QFile::encodeName(d->options.certFile).constData(),
                                                 QFile::encodeName(d->options.keyFile).constData());
        if (!server->is_valid())
            return false;
        d->server = std::move(server);
    } else {
        d->server = std::make_unique<httplib::Server>();
    }

    httplib::Server &server = *d->server;
    // One request per connection: a stopping service never waits on an idle keep-alive socket.
    server.set_keep_alive_max_count(1);
    server.set_keep_alive_timeout(2);
    // httplib's default also sets SO_REUSEPORT, which would let a second service share a busy
    // port; address reuse alone is what a quick restart needs.
    server.set_socket_options([](int socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    Private *p = d.get();
    const auto handler = [p](const httplib::Request &request, httplib::Response &response) {
        Call call = toCall(request);
        RecordedRequest record{call.method, call.path, call.rawQuery, call.headers, call.body, 0};

        Fault fault;
        {
            std::unique_lock lock(p->mutex);
            if (auto found = p->faults.find(call.path); found != p->faults.end())
                fault = found->second;
            if (fault.delayMs > 0)
                p->stopping.wait_for(lock, std::chrono::milliseconds(fault.delayMs),
                                     [p] { return p->stopRequested; });
        }

        Reply reply;
        if (fault.redirectTo) {
            reply.status = 302;
            reply.body.clear();
            reply.headers.emplace_back("Location", fault.redirectTo->toUtf8());
        } else if (fault.status || fault.body) {
            reply.status = fault.status.value_or(200);
            reply.contentType = fault.contentType;
            reply.body = fault.body.value_or(
                jsonBytes(QJsonObject{{u"error"_s, u"服务器暂时无法处理请求。"_s}}));
        } else {
            call.wrongDigest = fault.wrongDigest;
            reply = p->dispatch(call);
        }

        record.status = reply.status;
        {
            std::lock_guard lock(p->mutex);
            p->log.push_back(std::move(record));
        }
        writeReply(
            reply, fault,
            [p] {
                std::unique_lock lock(p->mutex);
                p->stopping.wait(lock, [p] { return p->stopRequested; });
            },
            response);
    };
    for (auto route : {&httplib::Server::Get, &httplib::Server::Delete, &httplib::Server::Options})
        (server.*route)(".*", handler);
    server.Post(".*", httplib::Server::Handler(handler));
    server.Put(".*", httplib::Server::Handler(handler));
    server.Patch(".*", httplib::Server::Handler(handler));

    const std::string host = "127.0.0.1";
    int bound = 0;
    if (port == 0) {
        bound = server.bind_to_any_port(host);
    } else if (server.bind_to_port(host, port)) {
        bound = port;
    }
    if (bound <= 0) {
        d->server.reset();
        return false;
    }
    d->port = bound;
    {
        std::lock_guard lock(d->mutex);
        d->stopRequested = false;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    d->thread = std::thread([p, finished] {
        p->server->listen_after_bind();
        *finished = true;
    });
    // stop() only reaches a server that is already in its accept loop.
    while (!server.is_running() && !*finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void DevService::stop() {
    if (!d->server)
        return;
    {
        std::lock_guard lock(d->mutex);
        d->stopRequested = true;
    }
    d->stopping.notify_all();
    d->server->stop();
    if (d->thread.joinable())
        d->thread.join();
    d->server.reset();
    d->port = 0;
}

int DevService::port() const {
    return d->port;
}

QString DevService::origin() const {
    return d->tls ? u"https://localhost:%1"_s.arg(d->port.load())
                  : u"http://127.0.0.1:%1"_s.arg(d->port.load());
}

QString DevService::Private::originFor(const Call &call) const {
    // Answer with the host name the client used, so links stay on the client's own origin.
    static const QRegularExpression loopbackHost(u"^(127\\.0\\.0\\.1|localhost):[0-9]{1,5}$"_s);
    const auto host = call.headers.find(u"host"_s);
    const QString scheme = tls ? u"https://"_s : u"http://"_s;
    if (host != call.headers.end() && loopbackHost.match(host->second).hasMatch())
        return scheme + host->second;
    return scheme + (tls ? u"localhost:"_s : u"127.0.0.1:"_s) + QString::number(port.load());
}

std::vector<RecordedRequest> DevService::requests() const {
    std::lock_guard lock(d->mutex);
    return d->log;
}

void DevService::clearRequests() {
    std::lock_guard lock(d->mutex);
    d->log.clear();
}

void DevService::setFault(const QString &path, Fault fault) {
    std::lock_guard lock(d->mutex);
    d->faults[path] = std::move(fault);
}

void DevService::clearFaults() {
    std::lock_guard lock(d->mutex);
    d->faults.clear();
}

QString DevService::createInviteTicket() {
    std::lock_guard lock(d->mutex);
    const QString ticket = randomToken();
    d->inviteTickets.insert(ticket);
    d->saveState();
    return ticket;
}

bool DevService::isValidToken(const QString &token) const {
    std::lock_guard lock(d->mutex);
    return d->accounts.count(token) != 0;
}

void DevService::revokeAllTokens() {
    std::lock_guard lock(d->mutex);
    d->accounts.clear();
    d->saveState();
}

WallpaperInfo DevService::todayWallpaper() const {
    std::lock_guard lock(d->mutex);
    const QDate date = d->today();
    const CatalogImage *image = d->catalog.forDate(date);
    if (!image)
        return {};
    return {image->id,
            date.toString(Qt::ISODate),
            image->fileName,
            image->contentType,
            image->length,
            image->sha256,
            WallpaperCatalog::downloadPath(image->id)};
}

void DevService::setToday(QDate date) {
    std::lock_guard lock(d->mutex);
    d->fixedDate = date;
}

WallpaperInfo DevService::setTodayWallpaper(const QString &fileName, const QByteArray &bytes,
                                            const QString &contentType) {
    {
        std::lock_guard lock(d->mutex);
        d->catalog.pin(d->catalog.add(fileName, bytes, contentType).id);
    }
    return todayWallpaper();
}

std::optional<UpdatePackage> DevService::setUpdatePackage(std::optional<UpdatePackage> package) {
    if (!package) {
        std::lock_guard lock(d->mutex);
        d->updates.clear();
        return package;
    }
    const QString client =
        (package->offeredTo.isEmpty() ? package->platform : package->offeredTo).toLower();
    if (package->fileName.isEmpty())
        package->fileName = client == u"linux"
                                ? u"velmora-wallpaper_%1_amd64.deb"_s.arg(package->version)
                                : u"VelmoraWallpaper-%1-macos.zip"_s.arg(package->version);
    if (package->filePath.isEmpty()) {
        package->length = package->bytes.size();
        package->sha256 = sha256Of(package->bytes);
    } else {
        package->length = QFile(package->filePath).size();
        package->sha256 = sha256OfFile(package->filePath);
    }
    package->downloadPath = u"/api/client/files/update/"_s +
                            QString::fromLatin1(QUrl::toPercentEncoding(package->fileName));
    std::lock_guard lock(d->mutex);
    d->updates[client] = *package;
    return package;
}

UpdatePackage DevService::syntheticUpdate(const QString &version, qint64 size) {
    UpdatePackage package;
    package.version = version;
    package.releaseNotes = u"开发服务生成的测试更新包。"_s;
    package.bytes.resize(qsizetype(std::max<qint64>(size, 0)));
    QRandomGenerator generator(quint32(qHash(version)));
    for (char &byte : package.bytes)
        byte = char(generator.generate() & 0xff);
    return package;
}

QString DevService::rewardCampaignId() const {
    std::lock_guard lock(d->mutex);
    return d->campaignId;
}

int DevService::rewardStock() const {
    std::lock_guard lock(d->mutex);
    return d->stock;
}

void DevService::setRewardStock(int stock) {
    std::lock_guard lock(d->mutex);
    d->stock = std::max(stock, 0);
    d->saveState();
}

void DevService::setRewardsEnabled(bool enabled) {
    std::lock_guard lock(d->mutex);
    d->rewardsEnabled = enabled;
}

void DevService::setRewardCampaignListed(bool listed) {
    std::lock_guard lock(d->mutex);
    d->campaignListed = listed;
}

void DevService::setRewardRedemptionUrl(const QString &url) {
    std::lock_guard lock(d->mutex);
    d->options.redemptionUrl = url;
    d->qrPng = qrCodePng(url);
}

void DevService::setRewardQr(RewardQr qr) {
    std::lock_guard lock(d->mutex);
    d->qr = qr;
}

void DevService::setRewardInvitationBonus(int count) {
    std::lock_guard lock(d->mutex);
    d->invitationBonus = std::max(count, 0);
}

const Account *DevService::Private::authenticate(const Call &call) const {
    const auto authorization = call.headers.find(u"authorization"_s);
    const auto deviceId = call.headers.find(u"x-device-id"_s);
    if (authorization == call.headers.end() || deviceId == call.headers.end())
        return nullptr;
    static const QString scheme = u"Bearer "_s;
    if (!authorization->second.startsWith(scheme, Qt::CaseInsensitive))
        return nullptr;
    const auto account = accounts.find(authorization->second.mid(scheme.size()));
    if (account == accounts.end() || account->second.deviceId != deviceId->second)
        return nullptr;
    return &account->second;
}

Reply DevService::Private::dispatch(const Call &call) {
    struct Route {
        const char *method;
        const char *path; // a trailing "*" takes the rest of the path as argument
        bool authenticated;
        std::function<Reply(Private &, const Call &, const Account &, const QString &)> answer;
    };
    static const std::vector<Route> routes = {
        {"POST", "/api/client/register", false,
         [](Private &p, const Call &c, const Account &, const QString &) {
             return p.registerDevice(c);
         }},
        {"POST", "/api/client/activate-by-invite", true,
         [](Private &p, const Call &c, const Account &a, const QString &) {
             return p.activateByInvite(c, a);
         }},
        {"GET", "/api/client/wallpaper/today", true,
         [](Private &p, const Call &c, const Account &, const QString &) {
             return p.wallpaperToday(c);
         }},
        {"GET", "/api/client/files/wallpaper/*", true,
         [](Private &p, const Call &, const Account &, const QString &arg) {
             return p.wallpaperFile(arg);
         }},
        {"GET", "/api/client/update/latest", true,
         [](Private &p, const Call &c, const Account &, const QString &) {
             return p.latestUpdate(c);
         }},
        {"GET", "/api/client/files/update/*", true,
         [](Private &p, const Call &, const Account &, const QString &arg) {
             return p.updateFile(arg);
         }},
        {"GET", "/api/client/promotion/link", true,
         [](Private &p, const Call &c, const Account &a, const QString &) {
             return p.promotionLink(c, a);
         }},
        {"GET", "/api/client/rewards", true,
         [](Private &p, const Call &, const Account &a, const QString &) {
             return p.rewards(a);
         }},
        {"POST", "/api/client/rewards/claim", true,
         [](Private &p, const Call &c, const Account &a, const QString &) {
             return p.claimReward(c, a);
         }},
        {"GET", "/r/*", false,
         [](Private &p, const Call &, const Account &, const QString &arg) {
             return p.promotionPage(arg);
         }},
    };

    bool pathKnown = false;
    for (const Route &route : routes) {
        const QString pattern = QString::fromLatin1(route.path);
        QString argument;
        if (pattern.endsWith(u'*')) {
            const QString prefix = pattern.chopped(1);
            if (!call.path.startsWith(prefix) || call.path.size() == prefix.size() ||
                call.path.indexOf(u'/', prefix.size()) >= 0)
                continue;
            argument = call.path.mid(prefix.size());
        } else if (call.path != pattern) {
            continue;
        }
        pathKnown = true;
        const QString method = call.method == u"HEAD" ? u"GET"_s : call.method;
        if (method != QLatin1String(route.method))
            continue;

        std::lock_guard lock(mutex);
        const Account *caller = nullptr;
        if (route.authenticated) {
            caller = authenticate(call);
            if (!caller)
                return errorReply(401, u"身份验证失败，请重新登记本机。"_s);
        }
        const Account callerCopy = caller ? *caller : Account{};
        return route.answer(*this, call, callerCopy, argument);
    }
    if (pathKnown)
        return errorReply(405, u"不支持该请求方法。"_s);
    return errorReply(404, u"请求的接口不存在。"_s);
}

} // namespace velmora::dev
