#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

namespace velmora {

// The per-user key-value store of the application (the user-defaults domain on macOS, an INI
// file in the user's configuration folder elsewhere). Copies share one store. Reading never
// fails: a missing or damaged value reads as absent or false.
class UserDefaults {
public:
    // The application's own domain, keyed by the bundle identifier.
    static UserDefaults standard();
    // A separate, throw-away domain (the self-test uses one so that it never changes the
    // user's choices). Remove it with removePersistentDomain() when done.
    static UserDefaults suite(const QString &name);

    bool contains(const QString &key) const;
    // The value under `key` when it is stored as text; none for absent and non-text values.
    std::optional<QString> string(const QString &key) const;
    // The value under `key` read as a boolean the way the defaults system reads one: true and
    // false, numbers (0 is false, anything else true), and "YES"/"NO" or "true"/"false" in any
    // letter case. Absent and unrecognisable values read as false.
    bool boolean(const QString &key) const;

    void setString(const QString &key, const QString &value);
    void setBoolean(const QString &key, bool value);
    // Stores an arbitrary value; for tests and for reading back what another writer left.
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // Empties the domain and deletes its file.
    void removePersistentDomain();

    // Where the domain is kept, for diagnostics and tests.
    QString fileName() const;

private:
    explicit UserDefaults(std::shared_ptr<QSettings> settings);
    // Written through at once: the background refresh runs in another process and must see a
    // choice made in the menu, also if this process ends abruptly.
    void commit();

    std::shared_ptr<QSettings> m_settings;
};

// How the defaults system interprets a stored value as a boolean; see UserDefaults::boolean.
bool defaultsBooleanValue(const QVariant &value);

} // namespace velmora
