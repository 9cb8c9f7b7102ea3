#pragma once

#include <QProcess>
#include <QStandardPaths>

#include <memory>

namespace velmora::test {

// A server that prints what to reach it by as its first line, stopped with its owner.
class Server {
public:
    Server(const char *program, const QStringList &arguments) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(program));
        if (path.isEmpty())
            return;
        m_process.start(path, arguments);
        while (m_process.waitForStarted(5000) && !m_process.canReadLine() &&
               m_process.waitForReadyRead(10000)) {
        }
        m_address = m_process.readLine().trimmed();
    }
    ~Server() {
        // What does not end in time, QProcess's own destructor kills.
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    // Empty when the server did not start.
    QByteArray address() const { return m_address; }

private:
    QProcess m_process;
    QByteArray m_address;
};

// An Xvfb server on a display number it picks itself, so parallel tests never collide.
// -noreset keeps a server from starting over whenever its last client leaves: the picture of a
// setter that has disconnected stays what a test sees, and a count of the server's clients is not
// upset by a reset.
inline std::unique_ptr<Server> startVirtualDisplay(const char *screen = "1280x800x24") {
    return std::make_unique<Server>(
        "Xvfb", QStringLiteral("-displayfd 1 -screen 0 %1 -nolisten tcp -noreset")
                    .arg(QLatin1String(screen))
                    .split(u' '));
}

// The environment of a client process on the X display at `address` (as Xvfb prints it),
// outside any desktop session.
inline QProcessEnvironment displayEnvironment(const QByteArray &address) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(address));
    return environment;
}

} // namespace velmora::test
