#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// The client's login with the service: the origin it enrolled with, the identity it presented
// and the bearer token it was issued. The token is a secret and is never printed or logged.
struct ActivationState {
    QString serverBaseURL;
    QString deviceId;
    QString deviceName;
    QString token;
    QString activatedAtUtc; // kept verbatim as the service reported it

    // The stored form: one compact JSON object, keys sorted, "/" not escaped, no line feed.
    QByteArray encoded() const;

    // The lenient reader for everything read back from storage: accepts the older snake_case
    // keys as well, skipping blank and non-string values.
    static Result<ActivationState> decodeCompatible(const QByteArray &data);

    // Server, device identifier and token are all present (not blank).
    bool isUsable() const;

    friend bool operator==(const ActivationState &, const ActivationState &) = default;
};

} // namespace velmora
