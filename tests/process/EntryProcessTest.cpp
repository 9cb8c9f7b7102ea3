// Runs the built executable as a user would: no display, exact bytes on stdout and stderr.
#include "support/TempDir.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

// The exit status, stdout and stderr in one line each, to compare at once.
QByteArray run(const QStringList &arguments, const QString &appDataVariable = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("VELMORA_MAC_APPDATA"), appDataVariable);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELMORA_EXECUTABLE), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return "did not exit";
    return QByteArray::number(process.exitCode()) + " [" + process.readAllStandardOutput() + "] [" +
           process.readAllStandardError() + ']';
}

TEST(Executable, RunsWithoutADisplayAndFailsWithOneErrorLine) {
    EXPECT_EQ(run({QStringLiteral("--version")}), QByteArray("0 [1.3.0\n] []"));
    EXPECT_TRUE(
        run({QStringLiteral("-h")}).startsWith("0 [Velmora壁纸 macOS 菜单栏客户端\n\n用法：\n"));
    EXPECT_EQ(run({QStringLiteral("--refresh"), QStringLiteral("--nope")}),
              QByteArray("2 [] [错误：未知参数：--nope。使用 --help 查看用法。\n]"));
}

// A command works in the directory --app-data names, never in the one the variable names.
TEST(Executable, AppDataOnTheCommandLineWinsOverTheEnvironment) {
    velmora::test::TempDir temp;
    const QString arg = temp.path(QStringLiteral("arg")), env = temp.path(QStringLiteral("env"));
    EXPECT_TRUE(run({QStringLiteral("--status"), QStringLiteral("--app-data"), arg}, env)
                    .startsWith("0 ["));
    EXPECT_TRUE(QDir(arg).exists());
    EXPECT_FALSE(QDir(env).exists());
}

} // namespace
