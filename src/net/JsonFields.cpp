#include "JsonFields.h"

#include "core/Json.h"

#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

Error decodingError(const QString &sentence) {
    return Error::foreign(sentence);
}

bool isCanonicalUuid(const QString &text) {
    static const QRegularExpression pattern(
        u"^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"_s);
    return pattern.match(text).hasMatch();
}

} // namespace

std::optional<QJsonValue> JsonFields::present(const char *key, bool required) {
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        if (required && !m_failure)
            m_failure = decodingError(u"服务器数据缺少字段“%1”。"_s.arg(QLatin1String(key)));
        return std::nullopt;
    }
    return value;
}

void JsonFields::typeMismatch(const char *key) {
    if (!m_failure)
        m_failure = decodingError(u"服务器数据字段“%1”的类型不正确。"_s.arg(QLatin1String(key)));
}

void JsonFields::fail(const char *key) {
    typeMismatch(key);
}

QString JsonFields::string(const char *key) {
    if (!present(key, true))
        return {};
    return optionalString(key).value_or(QString());
}

std::optional<QString> JsonFields::optionalString(const char *key) {
    const std::optional<QJsonValue> value = present(key, false);
    if (!value)
        return std::nullopt;
    if (!value->isString()) {
        typeMismatch(key);
        return std::nullopt;
    }
    return value->toString();
}

qint64 JsonFields::integer(const char *key) {
    if (!present(key, true))
        return 0;
    return optionalInteger(key).value_or(0);
}

std::optional<qint64> JsonFields::optionalInteger(const char *key) {
    const std::optional<QJsonValue> value = present(key, false);
    if (!value)
        return std::nullopt;
    // A number that is not a whole 64-bit integer (1.5, 1e300) is refused like a string would be.
    const double number = value->toDouble();
    if (!value->isDouble() || !std::isfinite(number) || std::trunc(number) != number ||
        std::fabs(number) > 9.2e18) {
        typeMismatch(key);
        return std::nullopt;
    }
    return value->toInteger();
}

bool JsonFields::boolean(const char *key) {
    const std::optional<QJsonValue> value = present(key, true);
    if (!value)
        return false;
    if (!value->isBool()) {
        typeMismatch(key);
        return false;
    }
    return value->toBool();
}

QUuid JsonFields::uuid(const char *key) {
    if (!present(key, true))
        return {};
    return optionalUuid(key).value_or(QUuid());
}

std::optional<QUuid> JsonFields::optionalUuid(const char *key) {
    const std::optional<QString> text = optionalString(key);
    if (!text)
        return std::nullopt;
    if (!isCanonicalUuid(*text)) {
        typeMismatch(key);
        return std::nullopt;
    }
    return QUuid::fromString(*text);
}

Result<QJsonObject> parseJsonObject(const QByteArray &data) {
    Result<QJsonValue> parsed = Json::parse(data);
    if (!parsed)
        return parsed.error();
    if (!parsed->isObject())
        return decodingError(u"服务器数据不是 JSON 对象。"_s);
    return parsed->toObject();
}

QString uuidText(const QUuid &uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace velmora
