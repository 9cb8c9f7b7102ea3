#include "DesktopPainting.h"

#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velmora::platform {

QRect placePicture(const QSize &picture, const QRect &monitor, DesktopPlacement placement) {
    if (picture.isEmpty() || monitor.isEmpty())
        return {};
    QSize size = picture;
    if (placement == DesktopPlacement::Stretch) {
        size = monitor.size();
    } else if (placement != DesktopPlacement::Centre) {
        const double across = double(monitor.width()) / picture.width();
        const double down = double(monitor.height()) / picture.height();
        const double scale =
            placement == DesktopPlacement::Fill ? std::max(across, down) : std::min(across, down);
        // At least one pixel, so an extreme panorama still shows as a line, not as nothing.
        size = QSize(std::max(1, int(std::lround(picture.width() * scale))),
                     std::max(1, int(std::lround(picture.height() * scale))));
    }
    const QPoint topLeft(monitor.x() + (monitor.width() - size.width()) / 2,
                         monitor.y() + (monitor.height() - size.height()) / 2);
    return QRect(topLeft, size);
}

QSize decodingSize(const QSize &stored, bool turned, const QSize &monitor,
                   DesktopPlacement placement) {
    if (placement == DesktopPlacement::Centre)
        return {};
    const QSize upright = turned ? stored.transposed() : stored;
    const QSize shown = placePicture(upright, QRect(QPoint(), monitor), placement).size();
    if (shown.isEmpty() || shown.width() >= upright.width() || shown.height() >= upright.height())
        return {};
    return turned ? shown.transposed() : shown;
}

QImage paintDesktopImage(const QImage &picture, const QSize &rootSize,
                         const std::vector<QRect> &monitors, const DesktopImageOptions &options) {
    QImage root(rootSize, QImage::Format_RGB32);
    if (root.isNull())
        return root;
    root.fill(QColor(desktopFillColourName(options)));

    const DesktopPlacement placement = desktopPlacement(options);
    QPainter painter(&root);
    for (const QRect &monitor : monitors) {
        const QRect target = placePicture(picture.size(), monitor, placement);
        if (target.isEmpty())
            continue;
        // QImage::scaled averages the pixels it drops; a painter's smooth transform only
        // interpolates, which leaves a large photograph shrunk to a screen visibly aliased.
        const QImage scaled =
            target.size() == picture.size()
                ? picture
                : picture.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.setClipRect(monitor);
        painter.drawImage(target.topLeft(), scaled);
    }
    painter.end();
    return root;
}

} // namespace velmora::platform
