#pragma once

#include <QString>

#include <optional>

namespace velmora {

// A URL reference split into its RFC 3986 components exactly as written: nothing is
// lower-cased, decoded or normalised, so a caller can judge and rebuild the text faithfully.
// Only ASCII text with valid percent-escapes parses; anything else is refused.
struct UrlComponents {
    std::optional<QString> scheme;
    std::optional<QString> user;
    std::optional<QString> password;
    std::optional<QString> host; // an IPv6 literal without its brackets
    std::optional<int> port;     // absent when no digits follow ":"
    QString path;
    std::optional<QString> query;    // present, possibly empty, after a "?"
    std::optional<QString> fragment; // present, possibly empty, after a "#"

    static std::optional<UrlComponents> parse(const QString &text);

    // The text form; an IPv6 host gets its brackets back.
    QString toString() const;
};

} // namespace velmora
