#pragma once

#include "ClientPaths.h"
#include "Result.h"
#include "platform/DeviceFacts.h"

#include <QString>

#include <memory>

namespace velmora {

// The stable identifier and human-readable name the client presents to the service when it
// enrols or associates an invite.
class DeviceIdentity {
public:
    explicit DeviceIdentity(
        std::shared_ptr<const platform::DeviceFacts> facts = platform::systemDeviceFacts());

    // The computer name the user chose; else the host name's first label; else "macOS".
    // Never empty.
    QString name() const;

    // 64 lower-case hex digits, kept in "device-id" so that it survives restarts and renames.
    // Derived from machine and user facts when the file is missing, untrusted or damaged. Fails
    // only when the data directory cannot be made ready.
    Result<QString> id(const ClientPaths &paths) const;

    // What a new identifier is the SHA-256 of: platform UUID (empty when unknown), name and
    // login name, joined by "|".
    QString seed() const;
    static QString derivedIdentifier(const QString &seed);

private:
    std::shared_ptr<const platform::DeviceFacts> m_facts;
};

} // namespace velmora
