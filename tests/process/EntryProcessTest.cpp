// Runs the built executable as a user would: no display, exact bytes on stdout and stderr.
#include "support/TempDir.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status;
    QByteArray out;
    QByteArray err;
};

Outcome runExecutable(const QStringList &arguments, const QString &appDataVariable = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    if (!appDataVariable.isEmpty())
        environment.insert(QStringLiteral("VELMORA_MAC_APPDATA"), appDataVariable);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELMORA_EXECUTABLE), arguments);
    if (!process.waitForFinished(30000))
        return {-1, {}, {}};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

TEST(Executable, PrintsVersionAndUsageWithoutADisplay) {
    const Outcome version = runExecutable({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("1.3.0\n"));
    EXPECT_EQ(version.err, QByteArray());

    const Outcome help = runExecutable({QStringLiteral("-h")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Velmora壁纸 macOS 菜单栏客户端\n\n用法：\n"))
        << help.out.data();
    EXPECT_TRUE(
        help.out.endsWith("  --app-data <directory>             覆盖 Application Support 目录\n"));
    EXPECT_EQ(help.err, QByteArray());
}

TEST(Executable, ARejectedCommandLineExitsTwoWithOneErrorLine) {
    const Outcome outcome = runExecutable({QStringLiteral("--refresh"), QStringLiteral("--nope")});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, QByteArray());
    EXPECT_EQ(outcome.err, QByteArray("错误：未知参数：--nope。使用 --help 查看用法。\n"));
}

// A command works in the directory --app-data names, never in the one the variable names.
TEST(Executable, AppDataOnTheCommandLineWinsOverTheEnvironment) {
    velmora::test::TempDir temp;
    const Outcome outcome = runExecutable({QStringLiteral("--status"), QStringLiteral("--app-data"),
                                           temp.path(QStringLiteral("arg"))},
                                          temp.path(QStringLiteral("env")));
    EXPECT_EQ(outcome.status, 0) << outcome.err.data();
    EXPECT_TRUE(QDir(temp.path(QStringLiteral("arg"))).exists());
    EXPECT_FALSE(QDir(temp.path(QStringLiteral("env"))).exists());
}

} // namespace
