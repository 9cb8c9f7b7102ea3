#pragma once

// A private X server for tests that run the client's desktop setter or windows for real.

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace velmora::test {

class Xvfb {
public:
    // Starts the server; display() stays empty when Xvfb is missing or does not come up.
    explicit Xvfb(bool noReset = true) {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return;
        QStringList arguments{QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-screen"),    QStringLiteral("0"),
                              QStringLiteral("640x480x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")};
        if (noReset)
            arguments << QStringLiteral("-noreset");
        m_process.start(QStringLiteral("Xvfb"), arguments);
        if (m_process.waitForReadyRead(10000))
            m_display = ':' + m_process.readLine().trimmed();
    }
    ~Xvfb() {
        m_process.kill();
        m_process.waitForFinished();
    }

    const QByteArray &display() const { return m_display; }

    // The environment of a client process on this display, outside any desktop session.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        return environment;
    }

private:
    QProcess m_process;
    QByteArray m_display;
};

} // namespace velmora::test
