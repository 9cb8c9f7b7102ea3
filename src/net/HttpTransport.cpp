#include "HttpTransport.h"

#include "ServerURL.h"
#include "core/ClientConstants.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

namespace velmora {

namespace {

// Without data for this long a transfer has stalled.
constexpr int kStallLimitMs = 60'000;

constexpr char kRedirectRefused[] = "velmoraRedirectRefused";
constexpr char kTimedOut[] = "velmoraTimedOut";
constexpr char kLastRedirectStatus[] = "velmoraLastRedirectStatus";

} // namespace

HttpTransport::HttpTransport(QUrl origin, const SessionConfiguration &configuration, QObject *owner)
    : m_origin(std::move(origin))
    , m_transferLimitMs(configuration.resourceTimeoutSeconds * 1000)
    , m_manager(new QNetworkAccessManager(owner)) {
    configuration.applyTo(*m_manager);
}

void HttpTransport::addTrustedCertificates(const QList<QSslCertificate> &certificates) {
    m_extraCertificates += certificates;
}

QNetworkReply *HttpTransport::send(const HttpRequest &call) {
    QNetworkRequest request(call.url);
    request.setTransferTimeout(kStallLimitMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("User-Agent", ClientConstants::userAgent.toUtf8());
    if (call.credential) {
        request.setRawHeader("Authorization", "Bearer " + call.credential->token.toUtf8());
        request.setRawHeader("X-Device-Id", call.credential->deviceId.toUtf8());
    }
    if (call.jsonBody)
        request.setRawHeader("Content-Type", "application/json");
    if (!m_extraCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(m_extraCertificates);
        request.setSslConfiguration(tls);
    }

    QNetworkReply *reply = m_manager->sendCustomRequest(request, call.method, call.body);
    QObject::connect(
        reply, &QNetworkReply::redirected, reply, [origin = m_origin, reply](const QUrl &target) {
            // A loop ends without a status of its own; the last 3xx tells what
            // the service kept answering.
            reply->setProperty(kLastRedirectStatus,
                               reply->attribute(QNetworkRequest::HttpStatusCodeAttribute));
            if (ServerURL::equalOrigin(origin, target)) {
                Q_EMIT reply->redirectAllowed();
            } else {
                reply->setProperty(kRedirectRefused, true);
                reply->abort();
            }
        });
    QTimer::singleShot(m_transferLimitMs, reply, [reply] {
        reply->setProperty(kTimedOut, true);
        reply->abort();
    });
    return reply;
}

bool HttpTransport::refusedRedirect(const QNetworkReply *reply) {
    return reply->property(kRedirectRefused).toBool();
}

std::optional<int> HttpTransport::lastRedirectStatus(const QNetworkReply *reply) {
    const QVariant status = reply->property(kLastRedirectStatus);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

bool HttpTransport::timedOut(const QNetworkReply *reply) {
    return reply->property(kTimedOut).toBool();
}

} // namespace velmora
