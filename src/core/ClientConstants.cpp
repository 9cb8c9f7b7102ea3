#include "ClientConstants.h"

namespace velmora::ClientConstants {

const QString officialServer = QStringLiteral(VELMORA_OFFICIAL_SERVER);

} // namespace velmora::ClientConstants
