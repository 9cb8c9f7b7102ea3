#include "ServerURL.h"

#include "UrlComponents.h"
#include "core/ClientConstants.h"
#include "core/Text.h"

using namespace Qt::StringLiterals;

namespace velmora::ServerURL {

bool isLoopbackHost(const QString &lowerCasedHost) {
    return lowerCasedHost == u"localhost" || lowerCasedHost == u"127.0.0.1" ||
           lowerCasedHost == u"::1";
}

QString officialHost() {
    const auto official = UrlComponents::parse(ClientConstants::officialServer);
    return official && official->host ? official->host->toLower() : QString();
}

Result<QString> normalize(const QString &raw) {
    const auto refuse = [&raw] {
        return ClientError::invalidServer(raw);
    };

    const QString trimmed = Text::trimmed(raw);
    if (trimmed.isEmpty())
        return refuse();
    std::optional<UrlComponents> url = UrlComponents::parse(trimmed);
    if (!url)
        return refuse();
    while (url->path.endsWith(u'/'))
        url->path.chop(1);

    if (url->scheme != u"https" && url->scheme != u"http")
        return refuse();
    if (!url->host || url->host->isEmpty() || url->user || url->password || url->query ||
        url->fragment || !url->path.isEmpty())
        return refuse();

    const QString host = url->host->toLower();
    const bool loopback = isLoopbackHost(host);
    if (url->scheme == u"http" && !loopback)
        return ClientError::invalidServer(
            u"正式服务器必须使用 HTTPS；本地测试可使用回环或私有局域网地址"_s);
    if (url->scheme == u"https" && host != officialHost() && !loopback)
        return ClientError::invalidServer(u"正式客户端只能连接 "_s +
                                          ClientConstants::officialServer +
                                          u"；本地测试可使用回环或私有局域网地址"_s);

    const QString origin = url->toString();
    if (!QUrl(origin, QUrl::StrictMode).isValid())
        return refuse();
    return origin;
}

std::optional<int> effectivePort(const QUrl &url) {
    if (url.port() >= 0)
        return url.port();
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https")
        return 443;
    if (scheme == u"http")
        return 80;
    return std::nullopt;
}

bool equalOrigin(const QUrl &a, const QUrl &b) {
    if (a.scheme().toLower() != b.scheme().toLower())
        return false;
    if (a.host().toLower() != b.host().toLower())
        return false;
    if (effectivePort(a) != effectivePort(b))
        return false;
    // Any "@" in the authority, even with an empty user name, is user information.
    const auto hasUserInfo = [](const QUrl &url) {
        return url.authority(QUrl::FullyEncoded).contains(u'@');
    };
    return !hasUserInfo(a) && !hasUserInfo(b);
}

} // namespace velmora::ServerURL
