#pragma once

#include "CommandLineOptions.h"
#include "core/ClientPaths.h"
#include "core/Result.h"

#include <QString>

#include <functional>

namespace velmora {

using Print = std::function<void(const QString &line)>;

// The one-shot jobs behind the command words. Each prints its lines through `print` and
// returns the failure that ends the process with status 1.
namespace HeadlessCommands {

Status registerDevice(const ClientPaths &paths, const std::optional<QString> &server,
                      const Print &print);
Status status(const ClientPaths &paths, const Print &print);
Status clear(const ClientPaths &paths, const Print &print);
Status startupEnable(const ClientPaths &paths, const std::optional<QString> &server,
                     const Print &print);
Status startupDisable(const ClientPaths &paths, const Print &print);
Status startupStatus(const ClientPaths &paths, const Print &print);
Status activateInvite(const ClientPaths &paths, const std::optional<QString> &server,
                      const QString &ticket, const Print &print);

} // namespace HeadlessCommands

} // namespace velmora
