#include "StatusReport.h"

#include "agent/LoginAgent.h"
#include "core/Preferences.h"

namespace velmora {

namespace {

QString enabledText(bool enabled) {
    return enabled ? QStringLiteral("enabled") : QStringLiteral("disabled");
}

} // namespace

void printCredential(Console &console, const ActivationState &credential) {
    console.print(QStringLiteral("server=") + credential.serverBaseURL);
    console.print(QStringLiteral("device=") + credential.deviceName);
    console.print(QStringLiteral("deviceId=") + credential.deviceId.left(12) + QChar(0x2026));
}

Status printStatus(const ClientPaths &paths, const KeychainStore &credentials,
                   const LoginAgent &loginAgent, const UserDefaults &defaults, Console &console) {
    if (Status ready = paths.ensure(); !ready)
        return ready;
    const Result<std::optional<ActivationState>> credential = credentials.load();
    if (!credential)
        return credential.error();
    console.print(QStringLiteral("activated=") +
                  (credential->has_value() ? QStringLiteral("yes") : QStringLiteral("no")));
    console.print(QStringLiteral("startup=") + enabledText(loginAgent.isEnabled()));
    console.print(QStringLiteral("autoUpdate=") +
                  enabledText(AutomaticUpdatePreference::isEnabled(defaults)));
    console.print(QStringLiteral("network=") + NetworkProxyMode::load(defaults).rawValue());
    if (*credential)
        printCredential(console, **credential);
    return {};
}

} // namespace velmora
