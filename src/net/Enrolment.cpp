#include "Enrolment.h"

#include "WallpaperAPIClient.h"
#include "core/ClientConstants.h"
#include "core/DeviceIdentity.h"
#include "core/MainLoop.h"

namespace velmora {

QString chooseEnrolmentServer(const std::optional<QString> &serverOverride) {
    if (serverOverride)
        return *serverOverride;
    if (qEnvironmentVariableIsSet("VELMORA_SERVER"))
        return qEnvironmentVariable("VELMORA_SERVER");
    return ClientConstants::officialServer;
}

Result<ActivationState> registerAutomatically(const ClientPaths &paths,
                                              const std::optional<QString> &serverOverride) {
    if (Status ready = paths.ensure(); !ready)
        return ready.error();
    const QString server = chooseEnrolmentServer(serverOverride);
    const DeviceIdentity identity;
    Result<QString> deviceId = identity.id(paths);
    if (!deviceId)
        return deviceId.error();

    Result<std::unique_ptr<WallpaperAPIClient>> client = WallpaperAPIClient::create(server);
    if (!client)
        return client.error();

    std::optional<Result<ActivationState>> outcome;
    (*client)->registerDevice(
        *deviceId, identity.name(),
        [&outcome](Result<ActivationState> result) { outcome.emplace(std::move(result)); });
    runMainLoopUntil([&outcome] { return outcome.has_value(); });

    if (!*outcome)
        return outcome->error();
    if (!(*outcome)->isUsable())
        return ClientError::invalidResponse();
    return **outcome;
}

} // namespace velmora
