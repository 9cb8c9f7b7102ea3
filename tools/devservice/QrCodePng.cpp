#include "QrCodePng.h"

#include <QBuffer>
#include <QImage>

#include <qrencode.h>

#include <memory>

namespace velmora::dev {

QByteArray qrCodePng(const QString &text, int pixelsPerModule) {
    const QByteArray utf8 = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code)
        return {};

    constexpr int quietZone = 4;
    const int modules = code->width + 2 * quietZone;
    QImage image(modules * pixelsPerModule, modules * pixelsPerModule, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if ((code->data[y * code->width + x] & 1) == 0)
                continue;
            for (int dy = 0; dy < pixelsPerModule; ++dy) {
                uchar *line = image.scanLine((y + quietZone) * pixelsPerModule + dy);
                std::fill_n(line + (x + quietZone) * pixelsPerModule, pixelsPerModule, uchar(0));
            }
        }
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return png;
}

} // namespace velmora::dev
