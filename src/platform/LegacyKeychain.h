#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace velmora::platform {

// Read access to the secret store where older versions of the client kept the credential (the
// login keychain on macOS, the Secret Service on Linux). The client never writes to it or
// deletes from it.
class LegacyKeychain {
public:
    virtual ~LegacyKeychain() = default;

    // The data of the generic-password item with these account and service attributes. None
    // when there is no such item, the store is missing, locked or refuses, or it does not answer
    // within a short deadline: a lookup never holds the caller for long. Reports nothing else;
    // in particular the data never reaches a log or message.
    virtual std::optional<QByteArray> lookup(const QString &account,
                                             const QString &service) const = 0;
};

// The implementation for the platform this program is built for.
std::shared_ptr<const LegacyKeychain> systemLegacyKeychain();

} // namespace velmora::platform
