#pragma once

#include "ClientPaths.h"

#include <QDateTime>
#include <QString>

namespace velmora {

// Appends "[<UTC time, ISO 8601, seconds, Z>] <message>" and a line feed to client.log in the
// logs directory; a missing file is created whole, atomically. The file ends with permissions
// 0600. Logging never fails visibly: any problem (the directory cannot be made, a symbolic
// link at the file, a full disk) drops the line.
void appendClientLog(const ClientPaths &paths, const QDateTime &now, const QString &message);

} // namespace velmora
