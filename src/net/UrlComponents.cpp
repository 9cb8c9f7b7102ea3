#include "UrlComponents.h"

#include "platform/HexDigits.h"

namespace velmora {

namespace {

bool isAlpha(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool isUnreserved(QChar c) {
    return isAlpha(c) || isDigit(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

bool isSubDelimiter(QChar c) {
    return QStringView(u"!$&'()*+,;=").contains(c);
}

// Every character is unreserved, a sub-delimiter, one of `extra`, or part of a valid %XX.
bool isValidComponent(QStringView text, QStringView extra) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%') {
            if (i + 2 >= text.size() || !HexDigits::isDigit(text[i + 1]) ||
                !HexDigits::isDigit(text[i + 2]))
                return false;
            i += 2;
        } else if (!isUnreserved(c) && !isSubDelimiter(c) && !extra.contains(c)) {
            return false;
        }
    }
    return true;
}

bool isValidScheme(QStringView scheme) {
    if (scheme.isEmpty() || !isAlpha(scheme.front()))
        return false;
    for (QChar c : scheme) {
        if (!isAlpha(c) && !isDigit(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

bool isValidIpLiteral(QStringView literal) {
    if (literal.isEmpty())
        return false;
    for (QChar c : literal) {
        if (!HexDigits::isDigit(c) && c != u':' && c != u'.')
            return false;
    }
    return literal.contains(u':');
}

// Splits "userinfo@host:port" into `url`; false when the authority is malformed.
bool parseAuthority(QStringView authority, UrlComponents &url) {
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        const QStringView userInfo = authority.left(at);
        if (!isValidComponent(userInfo, u":"))
            return false;
        const qsizetype colon = userInfo.indexOf(u':');
        url.user = userInfo.left(colon < 0 ? userInfo.size() : colon).toString();
        if (colon >= 0)
            url.password = userInfo.mid(colon + 1).toString();
        authority = authority.mid(at + 1);
    }

    QStringView portText;
    bool hasPort = false;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0 || !isValidIpLiteral(authority.mid(1, close - 1)))
            return false;
        url.host = authority.mid(1, close - 1).toString();
        const QStringView rest = authority.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return false;
            hasPort = true;
            portText = rest.mid(1);
        }
    } else {
        const qsizetype colon = authority.indexOf(u':');
        const QStringView host = colon < 0 ? authority : authority.left(colon);
        if (!isValidComponent(host, {}))
            return false;
        url.host = host.toString();
        if (colon >= 0) {
            hasPort = true;
            portText = authority.mid(colon + 1);
        }
    }

    if (hasPort && !portText.isEmpty()) {
        if (portText.size() > 5)
            return false;
        for (QChar c : portText) {
            if (!isDigit(c))
                return false;
        }
        const int port = portText.toInt();
        if (port > 65535)
            return false;
        url.port = port;
    }
    return true;
}

} // namespace

std::optional<UrlComponents> UrlComponents::parse(const QString &text) {
    UrlComponents url;
    QStringView rest(text);

    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0) {
        url.fragment = rest.mid(hash + 1).toString();
        if (!isValidComponent(*url.fragment, u":@/?"))
            return std::nullopt;
        rest = rest.left(hash);
    }
    const qsizetype question = rest.indexOf(u'?');
    if (question >= 0) {
        url.query = rest.mid(question + 1).toString();
        if (!isValidComponent(*url.query, u":@/?"))
            return std::nullopt;
        rest = rest.left(question);
    }

    // A scheme is the text before the first ":" when no "/" comes earlier.
    const qsizetype colon = rest.indexOf(u':');
    const qsizetype slash = rest.indexOf(u'/');
    if (colon >= 0 && (slash < 0 || colon < slash)) {
        const QStringView scheme = rest.left(colon);
        if (!isValidScheme(scheme))
            return std::nullopt;
        url.scheme = scheme.toString();
        rest = rest.mid(colon + 1);
    }

    if (rest.startsWith(u"//")) {
        rest = rest.mid(2);
        const qsizetype end = rest.indexOf(u'/');
        const QStringView authority = end < 0 ? rest : rest.left(end);
        if (!parseAuthority(authority, url))
            return std::nullopt;
        rest = end < 0 ? QStringView() : rest.mid(end);
    }

    if (!isValidComponent(rest, u":@/"))
        return std::nullopt;
    url.path = rest.toString();
    return url;
}

QString UrlComponents::toString() const {
    QString text;
    if (scheme)
        text += *scheme + u':';
    if (host) {
        text += u"//";
        if (user) {
            text += *user;
            if (password)
                text += u':' + *password;
            text += u'@';
        }
        text += host->contains(u':') ? u'[' + *host + u']' : *host;
        if (port)
            text += u':' + QString::number(*port);
    }
    text += path;
    if (query)
        text += u'?' + *query;
    if (fragment)
        text += u'#' + *fragment;
    return text;
}

} // namespace velmora
