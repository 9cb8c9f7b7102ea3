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
#include <QProcess>
#include <QStandardPaths>

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

// Starts a server that prints what to reach it by as its first line; empty if it did not start.
inline QByteArray startServer(QProcess &server, const char *program, const QStringList &arguments) {
    const QString path = QStandardPaths::findExecutable(QLatin1String(program));
    if (path.isEmpty())
        return {};
    server.start(path, arguments);
    if (!server.waitForStarted(5000))
        return {};
    while (!server.canReadLine() && server.waitForReadyRead(10000)) {
    }
    return server.readLine().trimmed();
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
        m_daemon.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        m_address = startServer(m_daemon, "dbus-daemon",
                                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address=1")});
        if (!m_address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_address);
    }
    ~PrivateSessionBus() { stop(m_daemon); }

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
        // -noreset: the picture of a setter that has disconnected must be what the test sees,
        // not a server that started over because its last client left.
        const QByteArray number = startServer(m_server, "Xvfb",
                                              {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                               QStringLiteral("-screen"), QStringLiteral("0"),
                                               geometry, QStringLiteral("-nolisten"),
                                               QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!number.isEmpty())
            m_display = ':' + number;
    }
    ~VirtualDisplay() { stop(m_server); }

    bool isRunning() const { return !m_display.isEmpty(); }
    QByteArray display() const { return m_display; }

private:
    QProcess m_server;
    QByteArray m_display;
};

// A photograph-like picture (gradients, a sun, noise), so a wrong scale, offset or channel order
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
    painter.end();
    quint32 seed = 12345;
    for (int y = 0; y < size.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
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
