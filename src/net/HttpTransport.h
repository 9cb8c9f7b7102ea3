#pragma once

#include "SessionConfiguration.h"
#include "core/ActivationState.h"

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

namespace velmora {

// One request as a call means it; the transport adds what every request carries.
struct HttpRequest {
    QUrl url;
    QByteArray method = "GET";
    QByteArray body;
    bool jsonBody = false;                       // announced as application/json
    const ActivationState *credential = nullptr; // sent as bearer token and device identifier
};

// Sends the requests of one client, bound to its origin. A redirect is followed only within
// that origin, so the credential never leaves it; any other redirect ends the reply with the
// redirect answer itself. A whole transfer is limited as well as every pause in it.
class HttpTransport {
public:
    // The network access manager becomes a child of `owner`: replies still in flight end with
    // it, and the handlers a call connects with `owner` as context never run afterwards.
    HttpTransport(QUrl origin, const SessionConfiguration &configuration, QObject *owner);
    HttpTransport(const HttpTransport &) = delete;
    HttpTransport &operator=(const HttpTransport &) = delete;

    // Extra certificate authorities to trust, for a service with a generated certificate.
    void addTrustedCertificates(const QList<QSslCertificate> &certificates);

    QNetworkReply *send(const HttpRequest &request);

    // Whether the transport ended `reply` itself, and why.
    static bool refusedRedirect(const QNetworkReply *reply);
    static bool timedOut(const QNetworkReply *reply);
    // The status of the last redirect the reply went through, if any.
    static std::optional<int> lastRedirectStatus(const QNetworkReply *reply);

private:
    QUrl m_origin;
    int m_transferLimitMs;
    QNetworkAccessManager *m_manager;
    QList<QSslCertificate> m_extraCertificates;
};

} // namespace velmora
