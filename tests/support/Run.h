#pragma once

// Running programs to their end, the built client above all, waiting for what they do, and
// laying the client out as an installation does.

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace velmora::test {

// What a program left when it ended: its exit status (-1 when it did not end in time, crashed
// or never started), its standard output and its standard error.
struct Ran {
    int status = -1;
    QByteArray out;
    QByteArray err;

    // All three in one line, to compare at once.
    QByteArray line() const {
        if (status < 0)
            return "did not exit";
        return QByteArray::number(status) + " [" + out + "] [" + err + ']';
    }
};

// Polls `condition`, without running the event loop, until it holds or `ms` have passed, and
// returns its last answer.
template <typename Condition> auto waitFor(const Condition &condition, int ms) {
    const QDeadlineTimer deadline(ms);
    auto answer = condition();
    while (!answer && !deadline.hasExpired()) {
        QThread::msleep(100);
        answer = condition();
    }
    return answer;
}

// Waits for a started program to end, unless it has already.
inline Ran finish(QProcess &process, int timeoutMs = 60000) {
    const bool ended =
        (process.waitForFinished(timeoutMs) || process.state() == QProcess::NotRunning) &&
        process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

inline Ran
runToEnd(const QString &program, const QStringList &arguments,
         const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
         int timeoutMs = 60000) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    return finish(process, timeoutMs);
}

// Runs the executable as a user without a display would (the test main already gave this
// process a private home); see Ran::line(). `variables` are added to the environment; an empty
// value removes the variable.
inline QByteArray runExecutable(const QString &executable, const QStringList &arguments,
                                const QList<std::pair<QString, QString>> &variables = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    for (const auto &[name, value] : variables)
        value.isEmpty() ? environment.remove(name) : environment.insert(name, value);
    return runToEnd(executable, arguments, environment).line();
}

// Copies the client below `prefix` as an installation lays it out: the executable in bin/, the
// private module where it looks for it (unless `module` is false) and the bundle's files.
// Returns the executable's path, or an empty string when a copy failed.
inline QString installClient(const QString &prefix, bool module = true) {
    const QString executable = prefix + QStringLiteral("/bin/VelmoraWallpaper");
    const QString modulePath = prefix + QStringLiteral("/" VELMORA_MODULE_SUBPATH);
    const QString bundle = prefix + QStringLiteral("/share/velmora-wallpaper/");
    bool copied = QDir().mkpath(prefix + QStringLiteral("/bin")) && QDir().mkpath(bundle) &&
                  QFile::copy(QStringLiteral(VELMORA_EXECUTABLE), executable);
    if (module)
        copied = copied && QDir().mkpath(QFileInfo(modulePath).path()) &&
                 QFile::copy(QStringLiteral(VELMORA_MODULE), modulePath);
    for (const QString &name : QDir(QStringLiteral(VELMORA_BUNDLE_DIR)).entryList(QDir::Files))
        copied =
            copied && QFile::copy(QStringLiteral(VELMORA_BUNDLE_DIR "/") + name, bundle + name);
    return copied ? executable : QString();
}

// Every file and folder below `root`, to see what a run left behind.
inline QStringList everythingBelow(const QString &root) {
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

} // namespace velmora::test
