#include "NetworkErrorText.h"

using namespace Qt::StringLiterals;

namespace velmora {

QString describeNetworkError(QNetworkReply::NetworkError error, const QString &fallback) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return u"服务器拒绝了连接"_s;
    case QNetworkReply::RemoteHostClosedError:
        return u"服务器提前关闭了连接"_s;
    case QNetworkReply::HostNotFoundError:
        return u"找不到服务器"_s;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return u"请求超时"_s;
    case QNetworkReply::SslHandshakeFailedError:
        return u"无法建立安全连接（TLS 握手失败）"_s;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return u"网络暂时不可用"_s;
    case QNetworkReply::ProxyConnectionRefusedError:
        return u"代理服务器拒绝了连接"_s;
    case QNetworkReply::ProxyConnectionClosedError:
        return u"代理服务器提前关闭了连接"_s;
    case QNetworkReply::ProxyNotFoundError:
        return u"找不到代理服务器"_s;
    case QNetworkReply::ProxyTimeoutError:
        return u"连接代理服务器超时"_s;
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return u"代理服务器要求身份验证"_s;
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return u"服务器的响应不符合 HTTP 协议"_s;
    default:
        return fallback;
    }
}

bool isTransportError(QNetworkReply::NetworkError error) {
    const int code = int(error);
    return (code >= 1 && code < 200) || (code >= 300 && code < 400);
}

} // namespace velmora
