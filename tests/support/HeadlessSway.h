#pragma once

// A real sway compositor without a screen (wlroots' headless backend), for tests of what a
// sway user sees. sway refuses to run as root, so when the tests run as root it runs, with every
// client started through run()/start(), as the unprivileged user "nobody", in a home and a 0700
// runtime directory of its own. Files that sway or a client must read have to be readable by
// that user; what it writes belongs to it.

#include "support/Run.h"
#include "support/TempDir.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>

namespace velmora::test {

class HeadlessSway {
public:
    // Two outputs of different shapes side by side: HEADLESS-1 1280×720 at 0,0 and HEADLESS-2
    // 640×800 at 1280,0.
    HeadlessSway() {
        if (!installed())
            return;
        if (::geteuid() == 0) {
            const passwd *user = ::getpwnam("nobody");
            if (!user)
                return;
            m_uid = user->pw_uid;
            m_gid = user->pw_gid;
        }
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
        for (const QString &name : {QStringLiteral("home"), QStringLiteral("runtime")})
            makeUserDirectory(name);
        ::chmod(QFile::encodeName(path(QStringLiteral("runtime"))).constData(), 0700);
        writeFile(path(QStringLiteral("config")),
                  "output HEADLESS-1 resolution 1280x720 position 0 0\n"
                  "output HEADLESS-2 resolution 640x800 position 1280 0\n",
                  0644);

        QProcessEnvironment environment = baseEnvironment();
        environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        environment.insert(QStringLiteral("WLR_HEADLESS_OUTPUTS"), QStringLiteral("2"));
        // sway listens for IPC where SWAYSOCK says.
        const QString socket = path(QStringLiteral("runtime/sway-ipc.sock"));
        environment.insert(QStringLiteral("SWAYSOCK"), socket);
        m_sway =
            start(QStringLiteral("sway"), {QStringLiteral("-c"), path(QStringLiteral("config"))},
                  environment, path(QStringLiteral("sway.log")));
        m_sway->waitForStarted(5000);
        waitFor([&] { return QFileInfo::exists(socket) || m_sway->state() != QProcess::Running; },
                10000);
        if (QFileInfo::exists(socket))
            m_socket = socket;
    }

    static bool installed() {
        return !QStandardPaths::findExecutable(QStringLiteral("sway")).isEmpty() &&
               !QStandardPaths::findExecutable(QStringLiteral("grim")).isEmpty();
    }
    // Empty when sway or grim is missing or sway did not start.
    QString socket() const { return m_socket; }
    QString path(const QString &name) const { return m_dir.path() + u'/' + name; }

    // A directory below the test's own that sway's user owns.
    QString makeUserDirectory(const QString &name) const {
        QDir().mkpath(path(name));
        if (m_uid) [[maybe_unused]]
            const int ignored = ::chown(QFile::encodeName(path(name)).constData(), m_uid, m_gid);
        return path(name);
    }

    // What a client of the session sees: its user's home and runtime directory, the Wayland
    // display and the IPC socket, a sway desktop, no X display and no session bus.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = baseEnvironment();
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-1"));
        environment.insert(QStringLiteral("SWAYSOCK"), m_socket);
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("sway"));
        return environment;
    }

    // Stops a program started here when its owner lets it go, sway itself last of all.
    struct Stop {
        void operator()(QProcess *process) const {
            process->terminate();
            process->waitForFinished(5000);
            delete process;
        }
    };
    using Process = std::unique_ptr<QProcess, Stop>;

    // Starts a program as sway's user, by default in the session's environment; with a `log`,
    // its output goes there.
    Process start(const QString &program, const QStringList &arguments,
                  const std::optional<QProcessEnvironment> &environment = {},
                  const QString &log = {}) const {
        Process process(new QProcess);
        if (!log.isEmpty()) {
            process->setProcessChannelMode(QProcess::MergedChannels);
            process->setStandardOutputFile(log);
        }
        process->setProcessEnvironment(environment.value_or(this->environment()));
        process->setWorkingDirectory(path(QStringLiteral("home")));
        if (m_uid)
            process->setChildProcessModifier([uid = m_uid, gid = m_gid] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(126);
            });
        process->start(program, arguments);
        return process;
    }
    // Runs it to its end: its exit status, stdout and stderr in one line.
    QByteArray run(const QString &program, const QStringList &arguments) const {
        return finish(*start(program, arguments)).line();
    }

    // What every output shows now, laid out as sway lays them out.
    QImage screenshot() const {
        const QString file = path(QStringLiteral("runtime/screenshot.png"));
        QFile::remove(file);
        run(QStringLiteral("grim"), {file});
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

private:
    QProcessEnvironment baseEnvironment() const {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        // The sanitizer run's settings reach the client too.
        const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
        for (const QString &name : own.keys())
            if (name.endsWith(QStringLiteral("SAN_OPTIONS")))
                environment.insert(name, own.value(name));
        return environment;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/velmora-sway-XXXXXX")};
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    Process m_sway;
    QString m_socket;
};

} // namespace velmora::test
