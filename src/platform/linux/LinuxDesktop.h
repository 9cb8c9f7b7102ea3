#pragma once

#include "platform/Desktop.h"

#include <QString>

#include <vector>

namespace velmora::platform {

// The screens of a desktop whose picture is one setting for every monitor: the monitors of the
// X display when one is reachable and the session is not a Wayland one (so callers still see
// how many there are), else one screen named after the desktop.
std::vector<Screen> desktopWideScreens(const QString &desktopName);

} // namespace velmora::platform
