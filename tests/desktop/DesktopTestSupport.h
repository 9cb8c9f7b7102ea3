#pragma once

// Private display and bus servers for the desktop backend tests. Each is started by the test
// that needs it and stopped when the test ends.

#include "platform/Desktop.h"
#include "support/Server.h"
#include "support/TempDir.h"

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace velmora::test {

// Runs a program to its end and returns its standard output (empty if it could not run).
inline QByteArray runTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    return process.readAllStandardOutput();
}

// A session bus of our own. The services it starts on demand (dconf, xfconfd) inherit the
// bus's environment, not the caller's, so HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR are set —
// in this process too, since GIO's dconf client reads the database files directly — before
// the bus starts.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        for (const char *name : {"home", "config", "runtime"})
            QDir().mkpath(m_dir.path(QLatin1String(name)));
        QFile::setPermissions(m_dir.path(QStringLiteral("runtime")), QFileDevice::ReadOwner |
                                                                         QFileDevice::WriteOwner |
                                                                         QFileDevice::ExeOwner);
        qputenv("HOME", m_dir.path(QStringLiteral("home")).toUtf8());
        qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_dir.path(QStringLiteral("runtime")).toUtf8());
        m_daemon = std::make_unique<Server>(
            "dbus-daemon", QStringLiteral("--session --nofork --print-address=1").split(u' '));
        if (!address().isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_daemon->address());
    }

    // Empty when the bus did not start.
    QString address() const { return QString::fromUtf8(m_daemon->address()); }
    QString configHome() const { return m_dir.path(QStringLiteral("config")); }

private:
    TempDir m_dir;
    std::unique_ptr<Server> m_daemon;
};

inline platform::DesktopImageOptions fitOrFill(bool fill) {
    platform::DesktopImageOptions options;
    options.allowClipping = fill;
    return options;
}

// A picture whose colours change in both directions, so a wrong scale, offset or channel order
// shows in the pixels.
inline QImage landscape(const QSize &size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(250, 190, 60));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(255, 250, 220));
    painter.drawEllipse(QPointF(size.width() * 0.7, size.height() * 0.35), 60, 60);
    return image;
}

} // namespace velmora::test
