#include "ActivationState.h"

#include "Json.h"
#include "Text.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <initializer_list>

using namespace Qt::StringLiterals;

namespace velmora {

QByteArray ActivationState::encoded() const {
    // QJsonObject keeps its keys sorted, and Qt's writer leaves "/" unescaped.
    const QJsonObject object{
        {u"activatedAtUtc"_s, activatedAtUtc},
        {u"deviceId"_s, deviceId},
        {u"deviceName"_s, deviceName},
        {u"serverBaseUrl"_s, serverBaseURL},
        {u"token"_s, token},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Result<ActivationState> ActivationState::decodeCompatible(const QByteArray &data) {
    Result<QJsonValue> parsed = Json::parse(data);
    if (!parsed)
        return parsed.error();
    if (!parsed->isObject())
        return ClientError::malformedData(u"激活凭证格式无效。"_s);
    const QJsonObject object = parsed->toObject();

    // The first key, stored form before the older one, whose value is a non-blank string.
    auto field = [&object](std::initializer_list<const char *> keys) -> std::optional<QString> {
        for (const char *key : keys) {
            const QJsonValue value = object.value(QLatin1String(key));
            if (value.isString() && !Text::isBlank(value.toString()))
                return value.toString();
        }
        return std::nullopt;
    };
    const std::array fields{
        field({"serverBaseUrl", "server_base_url"}),   field({"deviceId", "device_id"}),
        field({"deviceName", "device_name"}),          field({"token"}),
        field({"activatedAtUtc", "activated_at_utc"}),
    };
    for (const auto &value : fields) {
        if (!value)
            return ClientError::malformedData(u"激活凭证字段不完整。"_s);
    }
    return ActivationState{*fields[0], *fields[1], *fields[2], *fields[3], *fields[4]};
}

bool ActivationState::isUsable() const {
    return !Text::isBlank(serverBaseURL) && !Text::isBlank(deviceId) && !Text::isBlank(token);
}

} // namespace velmora
