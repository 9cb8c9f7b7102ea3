#pragma once

#include <QString>

#include <optional>

namespace velmora::PromotionHandoff {

inline constexpr int minimumTicketLength = 40;
inline constexpr int maximumTicketLength = 512;

// A one-time invite ticket: after trimming, 40 to 512 characters of A–Z, a–z, 0–9, "-", "_".
// Returns the trimmed ticket, letter case unchanged, or nothing.
std::optional<QString> normalizeTicket(const QString &raw);

// The ticket of a well-formed invite link (velmora://activate?ticket=…), or nothing.
std::optional<QString> parseURI(const QString &text);

// The canonical invite link for a ticket, or nothing when the ticket is not well formed.
std::optional<QString> buildURI(const QString &ticket);

} // namespace velmora::PromotionHandoff
