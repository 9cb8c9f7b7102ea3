#include "LoginAgent.h"

#include "LaunchAgentManager.h"
#include "SystemdUserAgent.h"

namespace velmora {

std::unique_ptr<LoginAgent> makeLoginAgent(const ClientPaths &paths, int interval) {
#ifdef Q_OS_MACOS
    return std::make_unique<LaunchAgentManager>(paths, interval);
#else
    return std::make_unique<SystemdUserAgent>(paths, interval);
#endif
}

} // namespace velmora
