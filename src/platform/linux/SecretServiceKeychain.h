#pragma once

#include "platform/LegacyKeychain.h"

#include <chrono>

namespace velmora::platform {

// The legacy credential as an item of the freedesktop Secret Service (GNOME Keyring, KWallet),
// looked up by its "account" and "service" attributes, whatever schema stored it.
class SecretServiceKeychain : public LegacyKeychain {
public:
    explicit SecretServiceKeychain(std::chrono::milliseconds deadline = std::chrono::seconds(2));

    // Not answered, at once, when no session bus is configured or reachable. Otherwise the
    // query runs on a worker thread; when the deadline passes first (a keyring waiting on an
    // unlock prompt, a bus that does not answer) the query is cancelled and abandoned, not
    // answered.
    LegacyLookup lookup(const QString &account, const QString &service) const override;

    // Whether a session bus could be reached without starting one: $DBUS_SESSION_BUS_ADDRESS is
    // set, or the per-user bus socket exists in $XDG_RUNTIME_DIR.
    static bool sessionBusConfigured();

private:
    std::chrono::milliseconds m_deadline;
};

} // namespace velmora::platform
