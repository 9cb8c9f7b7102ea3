#pragma once

#include "core/Result.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace velmora::ServerURL {

// The canonical origin for a raw origin text: HTTPS to the official host, or HTTP/HTTPS to a
// loopback host, with nothing but scheme, host and an optional port. Scheme, host and port stay
// as written. Anything else fails with ClientError::invalidServer.
Result<QString> normalize(const QString &raw);

// Same scheme, host and effective port, and no user information on either side. The single
// test used wherever the credential must not reach another origin.
bool equalOrigin(const QUrl &a, const QUrl &b);

// The explicit port, else 443 for https and 80 for http.
std::optional<int> effectivePort(const QUrl &url);

// localhost, 127.0.0.1 or ::1 (the host as a URL holds it, without brackets, lower-cased).
bool isLoopbackHost(const QString &lowerCasedHost);

// The host of the official origin, lower-cased.
QString officialHost();

} // namespace velmora::ServerURL
