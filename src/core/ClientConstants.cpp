#include "ClientConstants.h"

namespace velmora::ClientConstants {

const QString officialServer = QStringLiteral(VELMORA_OFFICIAL_SERVER);
const QString currentVersion = QStringLiteral(VELMORA_VERSION);

} // namespace velmora::ClientConstants
