#include "NetworkErrorText.h"

namespace velmora {

QString describeNetworkError(QNetworkReply::NetworkError error, const QString &fallback) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("服务器拒绝了连接");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("服务器提前关闭了连接");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("找不到服务器");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("请求超时");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("无法建立安全连接（TLS 握手失败）");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("网络暂时不可用");
    case QNetworkReply::ProxyConnectionRefusedError:
        return QStringLiteral("代理服务器拒绝了连接");
    case QNetworkReply::ProxyConnectionClosedError:
        return QStringLiteral("代理服务器提前关闭了连接");
    case QNetworkReply::ProxyNotFoundError:
        return QStringLiteral("找不到代理服务器");
    case QNetworkReply::ProxyTimeoutError:
        return QStringLiteral("连接代理服务器超时");
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return QStringLiteral("代理服务器要求身份验证");
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return QStringLiteral("服务器的响应不符合 HTTP 协议");
    default:
        return fallback;
    }
}

bool isTransportError(QNetworkReply::NetworkError error) {
    const int code = int(error);
    return (code >= 1 && code < 200) || (code >= 300 && code < 400);
}

} // namespace velmora
