#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QWidget>

namespace velmora::test {

// Saves a screen's picture as <build>/screenshots/<name>.png, for a person to look at.
inline void saveScreenshot(const QImage &image, const QString &name) {
    const QString folder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(folder);
    image.save(folder + u'/' + name + QStringLiteral(".png"));
}

// Saves how `widget` looks now as <build>/screenshots/<name>.png, for a person to look at.
inline void saveScreenshot(QWidget *widget, const QString &name) {
    // Layout requests travel up one level per turn of the event loop.
    for (int turn = 0; turn < 8; ++turn)
        QCoreApplication::processEvents();
    saveScreenshot(widget->grab().toImage(), name);
}

} // namespace velmora::test
