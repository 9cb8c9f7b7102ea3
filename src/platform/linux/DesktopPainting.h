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

// The size to decode a picture stored at `stored` at, to lay it into a monitor of `monitor`'s
// size: the size it is shown at there, or an invalid size (decode at the stored size) when that
// is not smaller — the painting scales up, a decoder would only blur. `turned` when the file
// asks for a quarter turn, which readers apply after scaling.
QSize decodingSize(const QSize &stored, bool turned, const QSize &monitor,
                   DesktopPlacement placement);

} // namespace velmora::platform
