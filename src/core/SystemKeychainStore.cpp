#include "KeychainStore.h"

namespace velmora {

KeychainStore::KeychainStore(const ClientPaths &paths, std::optional<QString> account)
    : KeychainStore(paths, std::move(account), platform::systemLegacyKeychain()) {}

} // namespace velmora
