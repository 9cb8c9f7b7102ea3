#pragma once

#include "core/Result.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace velmora {

// Strict reading of one received JSON object: a required key that is missing, null or of the
// wrong JSON type fails the whole record; optional keys may be missing or null. The first
// failure is kept and reported in the decoder's own words.
class JsonFields {
public:
    explicit JsonFields(QJsonObject object)
        : m_object(std::move(object)) {}

    QString string(const char *key);
    qint64 integer(const char *key);
    bool boolean(const char *key);
    QUuid uuid(const char *key);

    std::optional<QString> optionalString(const char *key);
    std::optional<qint64> optionalInteger(const char *key);
    std::optional<QUuid> optionalUuid(const char *key);

    const QJsonObject &object() const { return m_object; }
    // Marks the record as undecodable (for checks a caller makes on nested values).
    void fail(const char *key);

    // The decoded value, or the first failure.
    template <typename T> Result<T> finish(T value) const {
        if (m_failure)
            return *m_failure;
        return value;
    }

private:
    std::optional<QJsonValue> present(const char *key, bool required);
    void typeMismatch(const char *key);

    QJsonObject m_object;
    std::optional<Error> m_failure;
};

// Parses `data` as one JSON object, in the decoder's own words when it is not one.
Result<QJsonObject> parseJsonObject(const QByteArray &data);

// The standard 8-4-4-4-12 text of a UUID in upper case, as the client writes it.
QString uuidText(const QUuid &uuid);

} // namespace velmora
