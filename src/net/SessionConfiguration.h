#pragma once

#include "core/Preferences.h"

#include <QMap>
#include <QString>

#include <optional>

class QNetworkAccessManager;

namespace velmora {

// How a client's network stack is set up, as a value the self-test can inspect. Timeouts are
// idle timeouts except `resourceTimeoutSeconds`, the limit on one whole transfer.
struct SessionConfiguration {
    int requestTimeoutSeconds = 45;
    int resourceTimeoutSeconds = 300;
    bool usesURLCache = false;
    bool reloadsIgnoringLocalCache = true;
    bool waitsForConnectivity = false;
    NetworkProxyMode proxyMode;
    // Unset for the system proxy; for a direct connection every kind of proxy (HTTP, HTTPS,
    // SOCKS, automatic configuration and discovery) switched off explicitly.
    std::optional<QMap<QString, bool>> connectionProxyDictionary;

    static SessionConfiguration make(NetworkProxyMode mode);

    // Direct: no proxy at all, not even automatic configuration. System: whatever the desktop
    // configures, which on Linux means http_proxy, https_proxy and no_proxy.
    void applyTo(QNetworkAccessManager &manager) const;
};

} // namespace velmora
