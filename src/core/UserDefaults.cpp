#include "UserDefaults.h"

#include "ClientConstants.h"

#include <QFile>
#include <QSettings>

namespace velmora {

UserDefaults::UserDefaults(std::shared_ptr<QSettings> settings)
    : m_settings(std::move(settings)) {}

UserDefaults UserDefaults::standard() {
    return suite(ClientConstants::bundleIdentifier);
}

UserDefaults UserDefaults::suite(const QString &name) {
    return UserDefaults(
        std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope, name));
}

bool UserDefaults::contains(const QString &key) const {
    return m_settings->contains(key);
}

std::optional<QString> UserDefaults::string(const QString &key) const {
    const QVariant value = m_settings->value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

bool UserDefaults::boolean(const QString &key) const {
    return defaultsBooleanValue(m_settings->value(key));
}

void UserDefaults::setString(const QString &key, const QString &value) {
    setValue(key, value);
}

void UserDefaults::setBoolean(const QString &key, bool value) {
    setValue(key, value);
}

void UserDefaults::setValue(const QString &key, const QVariant &value) {
    m_settings->setValue(key, value);
    commit();
}

void UserDefaults::remove(const QString &key) {
    m_settings->remove(key);
    commit();
}

void UserDefaults::removePersistentDomain() {
    m_settings->clear();
    m_settings->sync();
    QFile::remove(m_settings->fileName());
}

QString UserDefaults::fileName() const {
    return m_settings->fileName();
}

void UserDefaults::commit() {
    m_settings->sync();
}

bool defaultsBooleanValue(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble() != 0;
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        // The INI format stores every value as text, so this is the common case on Linux.
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        bool isNumber = false;
        const double number = text.toDouble(&isNumber);
        return isNumber && number != 0;
    }
    default:
        return false;
    }
}

} // namespace velmora
