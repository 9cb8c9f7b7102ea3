#include "Json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace velmora::Json {

Result<QJsonValue> parse(const QByteArray &data) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (document.isNull()) {
        return Error::foreign(u"数据不是有效的 JSON（第 %1 字节：%2）。"_s.arg(error.offset)
                                  .arg(error.errorString()));
    }
    if (document.isObject())
        return QJsonValue(document.object());
    return QJsonValue(document.array());
}

} // namespace velmora::Json
