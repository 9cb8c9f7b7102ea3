#pragma once

#include "core/Preferences.h"
#include "core/Result.h"
#include "core/StagingFile.h"

#include <QString>

#include <functional>

class QNetworkReply;
class QObject;

// A download that reaches its destination only verified. The body goes into a staging file
// beside the destination and is hashed as it arrives, so the file is never read twice; only a
// file matching the expected digest replaces the destination, in one rename. The previous file
// survives every failure, and concurrent downloads to one destination never share a staging
// file.
namespace velmora::VerifiedDownload {

// Makes the destination's directory and a staging file in it.
Result<StagingFile> prepare(const QString &destination);

// Receives `reply` into a staging file for `destination` (made once a successful answer starts
// to arrive) and completes, from the reply's `finished` handler, with the
// destination path or the reason it was left alone. An empty `expectedSHA256` skips the digest
// check. The transfer's state, staging file included, lives in handlers connected with
// `context`: once it or the reply is gone, so is the staging file, and nothing completes.
// A body beyond `maximumBytes` ends the transfer with an error.
void receive(QNetworkReply *reply, const QString &destination, qint64 maximumBytes,
             const QString &expectedSHA256, NetworkProxyMode proxyMode, QObject *context,
             std::function<void(Result<QString>)> completion);

} // namespace velmora::VerifiedDownload
