#include "StatusReport.h"

#include "agent/LoginAgent.h"
#include "core/Preferences.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

QString enabledText(bool enabled) {
    return enabled ? u"enabled"_s : u"disabled"_s;
}

} // namespace

void printCredential(Console &console, const ActivationState &credential) {
    console.print(u"server="_s + credential.serverBaseURL);
    console.print(u"device="_s + credential.deviceName);
    console.print(u"deviceId="_s + credential.deviceId.left(12) + QChar(0x2026));
}

Status printStatus(const ClientPaths &paths, const KeychainStore &credentials,
                   const LoginAgent &loginAgent, const UserDefaults &defaults, Console &console) {
    if (Status ready = paths.ensure(); !ready)
        return ready;
    const Result<std::optional<ActivationState>> credential = credentials.load();
    if (!credential)
        return credential.error();
    console.print(u"activated="_s + (credential->has_value() ? u"yes"_s : u"no"_s));
    console.print(u"startup="_s + enabledText(loginAgent.isEnabled()));
    console.print(u"autoUpdate="_s + enabledText(AutomaticUpdatePreference::isEnabled(defaults)));
    console.print(u"network="_s + NetworkProxyMode::load(defaults).rawValue());
    if (*credential)
        printCredential(console, **credential);
    return {};
}

} // namespace velmora
