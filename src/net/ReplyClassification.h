#pragma once

#include "core/Preferences.h"
#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QNetworkReply;

namespace velmora {

// The message of an error answer: the JSON `error` text when there is one, else the body as
// text, trimmed and cut to 300 user-perceived characters.
QString serverErrorMessage(const QByteArray &body);

// What a finished reply amounts to for the call that sent it.
namespace ReplyClassification {

std::optional<int> httpStatus(const QNetworkReply *reply);
bool isSuccess(int status);

// Succeeds only for a whole answer with a success status. Otherwise the error the caller gets:
// a refused redirect or an error status with the service's message from `errorBody`, or a
// transfer that broke off, described after `failurePrefix` (with a hint at a stale system
// proxy in `System` mode).
Status outcome(const QNetworkReply *reply, const QByteArray &errorBody,
               const QString &failurePrefix, NetworkProxyMode proxyMode);

} // namespace ReplyClassification

} // namespace velmora
