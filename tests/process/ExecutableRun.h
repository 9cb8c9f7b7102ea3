#pragma once

#include <QDir>
#include <QDirIterator>
#include <QProcess>

namespace velmora::test {

// Runs the executable as a user without a display would (the test main already gave this
// process a private home) and returns its exit status, stdout and stderr in one line, to compare
// at once. `variables` are added to the environment; an empty value removes the variable.
inline QByteArray runExecutable(const QString &executable, const QStringList &arguments,
                                const QList<std::pair<QString, QString>> &variables = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    for (const auto &[name, value] : variables)
        value.isEmpty() ? environment.remove(name) : environment.insert(name, value);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(executable, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return "did not exit";
    return QByteArray::number(process.exitCode()) + " [" + process.readAllStandardOutput() + "] [" +
           process.readAllStandardError() + ']';
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
