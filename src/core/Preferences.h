#pragma once

#include "UserDefaults.h"

#include <QString>

#include <optional>

namespace velmora {

// Whether the client's HTTPS traffic follows the system proxy or connects directly.
class NetworkProxyMode {
public:
    enum Value { System, Direct };

    constexpr NetworkProxyMode(Value value = System)
        : m_value(value) {}
    constexpr operator Value() const { return m_value; }

    // Read from the standard defaults.
    static NetworkProxyMode current();
    // Absent and unrecognised values (compared case-sensitively) read as System.
    static NetworkProxyMode load(const UserDefaults &defaults);
    void save(UserDefaults &defaults) const;

    QString rawValue() const;
    static std::optional<NetworkProxyMode> fromRawValue(const QString &raw);
    // The menu text.
    QString title() const;
    // Shown after the user switches to this mode.
    QString confirmationMessage() const;

private:
    Value m_value;
};

// Whether a wallpaper is fitted into the screen or fills it.
class DisplayMode {
public:
    enum Value { Fit, Fill };

    constexpr DisplayMode(Value value = Fit)
        : m_value(value) {}
    constexpr operator Value() const { return m_value; }

    // Read from the standard defaults.
    static DisplayMode current();
    // Absent and unrecognised values (compared case-sensitively) read as Fit.
    static DisplayMode load(const UserDefaults &defaults);
    // Writes to the standard defaults.
    void save() const;
    void save(UserDefaults &defaults) const;

    QString rawValue() const;
    static std::optional<DisplayMode> fromRawValue(const QString &raw);
    // The menu text.
    QString title() const;

private:
    Value m_value;
};

// Whether new versions of the client are installed automatically, and the last version whose
// installer was opened automatically. Without a domain argument the standard defaults are used.
namespace AutomaticUpdatePreference {

// On unless the domain holds a value under the key that reads as false, so a fresh installation
// and a reset domain have it on.
bool isEnabled();
bool isEnabled(const UserDefaults &defaults);
void setEnabled(bool enabled);
void setEnabled(bool enabled, UserDefaults &defaults);

// None when absent or not stored as text.
std::optional<QString> lastOpenedVersion();
std::optional<QString> lastOpenedVersion(const UserDefaults &defaults);
void setLastOpenedVersion(const QString &version);
void setLastOpenedVersion(const QString &version, UserDefaults &defaults);

} // namespace AutomaticUpdatePreference

} // namespace velmora
