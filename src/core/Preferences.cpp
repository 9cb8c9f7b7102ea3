#include "Preferences.h"

#include "ClientConstants.h"
#include "PlatformWords.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace velmora {

NetworkProxyMode NetworkProxyMode::current() {
    return load(UserDefaults::standard());
}

NetworkProxyMode NetworkProxyMode::load(const UserDefaults &defaults) {
    // A foreign or damaged value is not an error: it reads as the default and stays stored
    // until the next save replaces it.
    const std::optional<QString> stored = defaults.string(ClientConstants::proxyModeDefaultsKey);
    return stored == QLatin1String("direct") ? Direct : System;
}

void NetworkProxyMode::save(UserDefaults &defaults) const {
    defaults.setString(ClientConstants::proxyModeDefaultsKey, rawValue());
}

QString NetworkProxyMode::rawValue() const {
    return m_value == Direct ? u"direct"_s : u"system"_s;
}

std::optional<NetworkProxyMode> NetworkProxyMode::fromRawValue(const QString &raw) {
    if (raw == QLatin1String("system"))
        return System;
    if (raw == QLatin1String("direct"))
        return Direct;
    return std::nullopt;
}

QString NetworkProxyMode::title() const {
    return m_value == Direct ? u"直连（忽略系统代理）"_s : u"跟随系统代理"_s;
}

QString NetworkProxyMode::confirmationMessage() const {
    if (m_value == System)
        return currentPlatformWords().followsSystemProxy.toString();
    return currentPlatformWords().ignoresSystemProxy.toString() +
           QUrl(ClientConstants::officialServer).host() + u"。"_s;
}

DisplayMode DisplayMode::current() {
    return load(UserDefaults::standard());
}

DisplayMode DisplayMode::load(const UserDefaults &defaults) {
    const std::optional<QString> stored = defaults.string(ClientConstants::displayModeDefaultsKey);
    return stored == QLatin1String("fill") ? Fill : Fit;
}

void DisplayMode::save() const {
    UserDefaults defaults = UserDefaults::standard();
    save(defaults);
}

void DisplayMode::save(UserDefaults &defaults) const {
    defaults.setString(ClientConstants::displayModeDefaultsKey, rawValue());
}

QString DisplayMode::rawValue() const {
    return m_value == Fill ? u"fill"_s : u"fit"_s;
}

std::optional<DisplayMode> DisplayMode::fromRawValue(const QString &raw) {
    if (raw == QLatin1String("fit"))
        return Fit;
    if (raw == QLatin1String("fill"))
        return Fill;
    return std::nullopt;
}

QString DisplayMode::title() const {
    return m_value == Fill ? u"填满屏幕（可能裁切）"_s : u"完整显示（推荐）"_s;
}

namespace AutomaticUpdatePreference {

bool isEnabled() {
    return isEnabled(UserDefaults::standard());
}

bool isEnabled(const UserDefaults &defaults) {
    if (!defaults.contains(ClientConstants::autoUpdateDefaultsKey))
        return true;
    return defaults.boolean(ClientConstants::autoUpdateDefaultsKey);
}

void setEnabled(bool enabled) {
    UserDefaults defaults = UserDefaults::standard();
    setEnabled(enabled, defaults);
}

void setEnabled(bool enabled, UserDefaults &defaults) {
    defaults.setBoolean(ClientConstants::autoUpdateDefaultsKey, enabled);
}

std::optional<QString> lastOpenedVersion() {
    return lastOpenedVersion(UserDefaults::standard());
}

std::optional<QString> lastOpenedVersion(const UserDefaults &defaults) {
    return defaults.string(ClientConstants::lastAutoUpdateOpenedVersionKey);
}

void setLastOpenedVersion(const QString &version) {
    UserDefaults defaults = UserDefaults::standard();
    setLastOpenedVersion(version, defaults);
}

void setLastOpenedVersion(const QString &version, UserDefaults &defaults) {
    defaults.setString(ClientConstants::lastAutoUpdateOpenedVersionKey, version);
}

} // namespace AutomaticUpdatePreference

} // namespace velmora
