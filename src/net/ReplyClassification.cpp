#include "ReplyClassification.h"

#include "HttpTransport.h"
#include "Messages.h"
#include "NetworkErrorText.h"
#include "ServerURL.h"
#include "core/Text.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr qsizetype kServerMessageLength = 300;

const char *const kProxyHint = "。当前为“跟随系统代理”；若代理程序已退出但系统仍残留代理，请在菜单"
                               "栏“网络连接”中切换为“直连（忽略系统代理）”后重试。";

// The transfer broke off below HTTP, or after a success status was sent (a cut connection, a
// body that failed to decompress): whatever arrived is not the whole answer.
bool isIncomplete(const QNetworkReply *reply, const std::optional<int> &status) {
    const QNetworkReply::NetworkError error = reply->error();
    return error != QNetworkReply::NoError &&
           (isTransportError(error) || !status || ReplyClassification::isSuccess(*status));
}

QString networkFailureMessage(const QString &prefix, const QNetworkReply *reply,
                              NetworkProxyMode proxyMode) {
    // The transfer limit ends a reply by aborting it, which Qt reports as a cancellation.
    const QNetworkReply::NetworkError error =
        HttpTransport::timedOut(reply) ? QNetworkReply::TimeoutError : reply->error();
    QString message = prefix + u"："_s + describeNetworkError(error, reply->errorString());
    if (proxyMode == NetworkProxyMode::System)
        message += QString::fromUtf8(kProxyHint);
    return message;
}

} // namespace

QString serverErrorMessage(const QByteArray &body) {
    const Result<APIErrorResponse> response = APIErrorResponse::decode(body);
    // Whatever the service says reaches a terminal, a log file or an alert: no escape sequences,
    // line overwrites or reordering marks, and no more than one line's worth.
    if (response && !response->error.isEmpty())
        return Text::displaySafe(response->error, kServerMessageLength);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        text.clear();
    return Text::displaySafe(text, kServerMessageLength);
}

namespace ReplyClassification {

std::optional<int> httpStatus(const QNetworkReply *reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

bool isSuccess(int status) {
    return status >= 200 && status < 300;
}

Status outcome(const QNetworkReply *reply, const QByteArray &errorBody,
               const QString &failurePrefix, NetworkProxyMode proxyMode) {
    const std::optional<int> status = httpStatus(reply);
    if (HttpTransport::refusedRedirect(reply))
        return ClientError::server(status.value_or(0), serverErrorMessage(errorBody));
    // A redirect loop ends without a final answer of its own (Qt leaves an interim status);
    // the last 3xx tells what the service kept answering.
    const std::optional<int> lastRedirect = HttpTransport::lastRedirectStatus(reply);
    if (lastRedirect && (reply->error() == QNetworkReply::TooManyRedirectsError || !status ||
                         *status < 200 || (*status >= 300 && *status < 400)))
        return ClientError::server(*lastRedirect, serverErrorMessage(errorBody));
    // Without a proxy in between a 407 can only be the service's own answer.
    const bool proxied = proxyMode == NetworkProxyMode::System &&
                         !ServerURL::isLoopbackHost(reply->url().host().toLower());
    if (status == 407 && !proxied)
        return ClientError::server(*status, serverErrorMessage(errorBody));
    if (HttpTransport::timedOut(reply) || isIncomplete(reply, status))
        return ClientError::server(0, networkFailureMessage(failurePrefix, reply, proxyMode));
    if (!status)
        return ClientError::invalidResponse();
    if (!isSuccess(*status))
        return ClientError::server(*status, serverErrorMessage(errorBody));
    return {};
}

} // namespace ReplyClassification

} // namespace velmora
