#include "SystemContext.h"

#include "agent/LoginAgent.h"
#include "platform/Desktop.h"

namespace velmora {

ClientContext makeSystemContext(const CommandLineOptions &options, Console &console) {
    const ClientPaths paths(options.appData);
    return ClientContext{
        paths,
        UserDefaults::standard(),
        std::make_shared<const KeychainStore>(paths),
        DeviceIdentity(),
        &platform::systemDesktop,
        makeLoginAgent(paths),
        [] { return QDateTime::currentDateTimeUtc(); },
        &console,
        options.server,
    };
}

} // namespace velmora
