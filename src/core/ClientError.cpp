#include "ClientError.h"

using namespace Qt::StringLiterals;

namespace velmora {

ClientError::ClientError(Kind kind, QString text, int statusCode)
    : m_kind(kind)
    , m_text(std::move(text))
    , m_statusCode(statusCode) {}

ClientError ClientError::invalidServer(QString text) {
    return {Kind::InvalidServer, std::move(text)};
}

ClientError ClientError::server(int statusCode, QString message) {
    return {Kind::Server, std::move(message), statusCode};
}

ClientError ClientError::malformedData(QString text) {
    return {Kind::MalformedData, std::move(text)};
}

ClientError ClientError::fileSystem(QString text) {
    return {Kind::FileSystem, std::move(text)};
}

ClientError ClientError::wallpaper(QString text) {
    return {Kind::Wallpaper, std::move(text)};
}

ClientError ClientError::invalidResponse() {
    return {Kind::InvalidResponse, {}};
}

ClientError ClientError::missingActivation() {
    return {Kind::MissingActivation, {}};
}

QString ClientError::description() const {
    switch (m_kind) {
    case Kind::InvalidServer:
        return u"服务器地址无效："_s + m_text;
    case Kind::Server:
        return u"服务器返回错误（HTTP "_s + QString::number(m_statusCode) + u"）："_s + m_text;
    case Kind::MalformedData:
    case Kind::FileSystem:
    case Kind::Wallpaper:
        return m_text;
    case Kind::InvalidResponse:
        return u"服务器响应格式无效。"_s;
    case Kind::MissingActivation:
        return u"客户端尚未完成自动连接，请稍后重试。"_s;
    }
    Q_UNREACHABLE();
    return {};
}

bool Error::is(ClientError::Kind kind) const {
    const ClientError *own = clientError();
    return own && own->kind() == kind;
}

QString Error::description() const {
    if (const ClientError *own = clientError())
        return own->description();
    return std::get<ForeignError>(m_error).description;
}

ClientError wrapFileSystemError(const QString &prefix, const Error &error) {
    return ClientError::fileSystem(prefix + error.description());
}

} // namespace velmora
