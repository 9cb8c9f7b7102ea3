#pragma once

#include <QNetworkReply>
#include <QString>

namespace velmora {

// The user's words for a failed transfer, in place of Qt's English error strings.
QString describeNetworkError(QNetworkReply::NetworkError error, const QString &fallback);

// Whether `error` happened below HTTP (connection, TLS, proxy, protocol), so that any status
// the reply may carry does not describe a complete answer.
bool isTransportError(QNetworkReply::NetworkError error);

} // namespace velmora
