#pragma once

#include "core/Result.h"
#include "usecases/ClientContext.h"

#include <QString>

namespace velmora {

// The one-shot jobs behind the command words. Each prints its lines on the context's console
// and returns the failure that ends the process with status 1. The ones that talk to the
// service start a job and turn the event loop until it has finished.
namespace HeadlessCommands {

Status refresh(const ClientContext &context);
Status registerDevice(const ClientContext &context);
Status status(const ClientContext &context);
Status clear(const ClientContext &context);
Status startupEnable(const ClientContext &context);
Status startupDisable(const ClientContext &context);
Status startupStatus(const ClientContext &context);
Status activateInvite(const ClientContext &context, const QString &ticket);

} // namespace HeadlessCommands

} // namespace velmora
