#include "ClientContext.h"

#include "core/ClientConstants.h"

namespace velmora {

QString ClientContext::enrolmentServer() const {
    if (serverOverride)
        return *serverOverride;
    if (qEnvironmentVariableIsSet("VELMORA_SERVER"))
        return qEnvironmentVariable("VELMORA_SERVER");
    return ClientConstants::officialServer;
}

} // namespace velmora
