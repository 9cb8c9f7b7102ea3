#pragma once

#include <QString>

namespace velmora {

extern const QString usageText;

} // namespace velmora
