#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace velmora::platform {

// Read access to the secret store where older versions of the client kept the credential (the
// login keychain on macOS, the Secret Service on Linux). The client never writes to it or
// deletes from it.
// What the store said about one item.
struct LegacyLookup {
    // False when no store answered: none reachable, or none within the deadline. Nothing can
    // be concluded from that; the item may still be there next time.
    bool answered = false;
    std::optional<QByteArray> data; // the item's data, when the store has it
};

class LegacyKeychain {
public:
    virtual ~LegacyKeychain() = default;

    // The generic-password item with these account and service attributes. Not answered when
    // the store is missing, refuses, or does not answer within a short deadline: a lookup
    // never holds the caller for long. Reports nothing else; in particular the data never
    // reaches a log or message.
    virtual LegacyLookup lookup(const QString &account, const QString &service) const = 0;
};

// The implementation for the platform this program is built for.
std::shared_ptr<const LegacyKeychain> systemLegacyKeychain();

} // namespace velmora::platform
