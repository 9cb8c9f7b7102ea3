#pragma once

#include "platform/Desktop.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <vector>

namespace velmora::platform {

// The picture for a root window of `rootSize`: inside each monitor rectangle the picture laid
// out as the options say, centred, cropped at the monitor's edges; everywhere else, and in the
// bands a fitted picture leaves, the fill colour. Format_RGB32.
QImage paintDesktopImage(const QImage &picture, const QSize &rootSize,
                         const std::vector<QRect> &monitors, const DesktopImageOptions &options);

// Where the picture goes inside one monitor rectangle, before clipping to it.
QRect placePicture(const QSize &picture, const QRect &monitor, DesktopPlacement placement);

} // namespace velmora::platform
