#pragma once

// Private display and bus servers for the desktop backend tests. Each is started by the test
// that needs it and stopped (by its own process id) when the test ends.

#include "support/TempDir.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRadialGradient>
#include <QStandardPaths>

#include <cmath>
#include <memory>

namespace velmora::test {

// Runs a program to its end and returns its standard output; standard error goes to `errors`.
inline QByteArray runTool(const QString &program, const QStringList &arguments,
                          int *exitCode = nullptr, QByteArray *errors = nullptr,
                          const QByteArray &input = {}) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) {
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(20000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (errors)
        *errors = process.readAllStandardError();
    return process.readAllStandardOutput();
}

inline void stop(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
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
        qputenv("XDG_CONFIG_HOME", m_dir.path(QStringLiteral("config")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_dir.path(QStringLiteral("runtime")).toUtf8());

        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        m_daemon.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
        }
        m_address = m_daemon.readLine().trimmed();
        if (!m_address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_address);
    }
    ~PrivateSessionBus() { stop(m_daemon); }

    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return QString::fromUtf8(m_address); }
    QString configHome() const { return m_dir.path(QStringLiteral("config")); }

private:
    TempDir m_dir;
    QProcess m_daemon;
    QByteArray m_address;
};

// An Xvfb server on a display number it picks itself, so parallel tests never collide.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const QString &geometry = QStringLiteral("1280x800x24")) {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        // -noreset: the picture of a setter that has disconnected must be what the test sees,
        // not a server that started over because its last client left.
        m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-screen"), QStringLiteral("0"), geometry,
                              QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                              QStringLiteral("-noreset")});
        if (!m_server.waitForStarted(5000))
            return;
        while (!m_server.canReadLine() && m_server.waitForReadyRead(10000)) {
        }
        const QByteArray number = m_server.readLine().trimmed();
        if (!number.isEmpty())
            m_display = ':' + number;
    }
    ~VirtualDisplay() { stop(m_server); }

    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    QByteArray display() const { return m_display; }

private:
    QProcess m_server;
    QByteArray m_display;
};

// Something that looks like a landscape photograph (sky, sun, hills, a lake with noise), so a
// wrong scale, offset or channel order is plain to see in a screenshot.
inline QImage landscape(const QSize &size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = size.width(), h = size.height();
    QLinearGradient sky(0, 0, 0, h * 0.6);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(250, 190, 120));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(w * 0.7, h * 0.35, h * 0.12);
    sun.setColorAt(0, QColor(255, 250, 220));
    sun.setColorAt(1, QColor(255, 200, 120, 0));
    painter.setBrush(sun);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(w * 0.7, h * 0.35), h * 0.12, h * 0.12);
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath hills;
        hills.moveTo(0, h);
        for (int x = 0; x <= w; x += 8)
            hills.lineTo(x, h * (0.5 + 0.08 * layer) +
                                h * 0.06 * std::sin(x * (0.01 + 0.004 * layer) + layer * 2.0));
        hills.lineTo(w, h);
        painter.setBrush(QColor(30 + 20 * layer, 70 + 25 * layer, 40 + 10 * layer));
        painter.drawPath(hills);
    }
    painter.fillRect(QRectF(0, h * 0.8, w, h * 0.2), QColor(50, 90, 130, 200));
    painter.end();
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            row[x] =
                qRgb(qBound(0, qRed(row[x]) + noise, 255), qBound(0, qGreen(row[x]) + noise, 255),
                     qBound(0, qBlue(row[x]) + noise, 255));
        }
    }
    return image;
}

} // namespace velmora::test
