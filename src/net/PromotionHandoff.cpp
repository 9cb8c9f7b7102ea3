#include "PromotionHandoff.h"

#include "UrlComponents.h"
#include "core/ClientConstants.h"
#include "core/Text.h"

#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace velmora::PromotionHandoff {

namespace {

bool isTicketCharacter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_';
}

bool isTicketParameterName(const QString &name) {
    const QString lowered = name.toLower();
    return lowered == u"ticket" || lowered == u"handoffticket" || lowered == u"handoff_ticket";
}

} // namespace

std::optional<QString> normalizeTicket(const QString &raw) {
    const QString ticket = Text::trimmed(raw);
    // The alphabet is ASCII, so once every code unit is in it the length in code units equals
    // the length in user-perceived characters; nothing outside it can pass.
    if (!std::all_of(ticket.begin(), ticket.end(), isTicketCharacter))
        return std::nullopt;
    if (ticket.size() < minimumTicketLength || ticket.size() > maximumTicketLength)
        return std::nullopt;
    return ticket;
}

std::optional<QString> parseURI(const QString &text) {
    const std::optional<UrlComponents> url = UrlComponents::parse(Text::trimmed(text));
    if (!url || !url->scheme || url->scheme->toLower() != ClientConstants::promotionScheme)
        return std::nullopt;
    if (!url->host || url->host->toLower() != ClientConstants::promotionActivationHost)
        return std::nullopt;
    if (url->user || url->password || url->port || url->fragment)
        return std::nullopt;
    if (!url->path.isEmpty() && url->path != u"/")
        return std::nullopt;
    if (!url->query || url->query->isEmpty())
        return std::nullopt;

    std::optional<QString> ticket;
    for (const QString &item : url->query->split(u'&')) {
        const qsizetype equals = item.indexOf(u'=');
        if (equals < 0)
            return std::nullopt;
        const QString name = QUrl::fromPercentEncoding(item.left(equals).toUtf8());
        if (!isTicketParameterName(name) || ticket)
            return std::nullopt;
        ticket = QUrl::fromPercentEncoding(item.mid(equals + 1).toUtf8());
    }
    return ticket ? normalizeTicket(*ticket) : std::nullopt;
}

std::optional<QString> buildURI(const QString &ticket) {
    const std::optional<QString> normalized = normalizeTicket(ticket);
    if (!normalized)
        return std::nullopt;
    return ClientConstants::promotionScheme + u"://"_s + ClientConstants::promotionActivationHost +
           u"?ticket="_s + *normalized;
}

} // namespace velmora::PromotionHandoff
