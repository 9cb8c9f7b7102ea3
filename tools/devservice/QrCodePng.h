#pragma once

#include <QByteArray>
#include <QString>

namespace velmora::dev {

// A PNG image of a QR code carrying `text` (black modules on white, with the quiet zone),
// or empty bytes when the text cannot be encoded.
QByteArray qrCodePng(const QString &text, int pixelsPerModule = 8);

} // namespace velmora::dev
