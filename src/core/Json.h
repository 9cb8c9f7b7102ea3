#pragma once

#include "Result.h"

#include <QByteArray>
#include <QJsonValue>

namespace velmora::Json {

// Parses a JSON document (an object or an array at the top level). A syntax error is reported
// as a foreign error in the parser's words, with the byte offset where parsing stopped.
Result<QJsonValue> parse(const QByteArray &data);

} // namespace velmora::Json
