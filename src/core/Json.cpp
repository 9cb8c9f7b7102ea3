#include "Json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace velmora::Json {

Result<QJsonValue> parse(const QByteArray &data) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (document.isNull()) {
        return Error::foreign(QStringLiteral("数据不是有效的 JSON（第 %1 字节：%2）。")
                                  .arg(error.offset)
                                  .arg(error.errorString()));
    }
    if (document.isObject())
        return QJsonValue(document.object());
    return QJsonValue(document.array());
}

} // namespace velmora::Json
