#pragma once

#include <QString>

#include <variant>

namespace velmora {

// The program's one error type. Each case carries, or implies, the sentence shown to the user
// unchanged: after "错误：" on standard error, or in an alert of the menu-bar application.
class ClientError {
public:
    enum class Kind {
        InvalidServer,
        Server,
        MalformedData,
        FileSystem,
        Wallpaper,
        InvalidResponse,
        MissingActivation,
    };

    static ClientError invalidServer(QString text);
    static ClientError server(int statusCode, QString message);
    static ClientError malformedData(QString text);
    static ClientError fileSystem(QString text);
    static ClientError wallpaper(QString text);
    static ClientError invalidResponse();
    static ClientError missingActivation();

    Kind kind() const { return m_kind; }
    // The payload text: the rejected origin, the server's message or the complete sentence.
    const QString &text() const { return m_text; }
    // Only meaningful for Kind::Server.
    int statusCode() const { return m_statusCode; }

    QString description() const;

    friend bool operator==(const ClientError &, const ClientError &) = default;

private:
    ClientError(Kind kind, QString text, int statusCode = 0);

    Kind m_kind;
    QString m_text;
    int m_statusCode = 0;
};

// A failure of the platform (file system, network, JSON), reported by its own description.
struct ForeignError {
    QString description;
    friend bool operator==(const ForeignError &, const ForeignError &) = default;
};

// What a fallible operation fails with: one of our own errors, or a foreign one passed on as is.
class Error {
public:
    Error(ClientError error)
        : m_error(std::move(error)) {}
    Error(ForeignError error)
        : m_error(std::move(error)) {}

    static Error foreign(QString description) { return ForeignError{std::move(description)}; }

    // Our own error, or null for a foreign one.
    const ClientError *clientError() const { return std::get_if<ClientError>(&m_error); }
    bool is(ClientError::Kind kind) const;
    QString description() const;

    friend bool operator==(const Error &, const Error &) = default;

private:
    std::variant<ClientError, ForeignError> m_error;
};

// Reports `error` in our own words: `prefix` (ending in "：") followed by its description.
// Prefixes nest when `error` is itself a wrapped ClientError.
ClientError wrapFileSystemError(const QString &prefix, const Error &error);

} // namespace velmora
