// Runs the built executable as a user would: no display, exact bytes on stdout and stderr.
#include "support/Run.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using velmora::test::runExecutable;

namespace {

QByteArray run(const QStringList &arguments) {
    return runExecutable(QStringLiteral(VELMORA_EXECUTABLE), arguments);
}

TEST(Executable, RunsWithoutADisplayAndFailsWithOneErrorLine) {
    // --version is the bundle layouts' test (the self-test's).
    EXPECT_TRUE(
        run({QStringLiteral("-h")}).startsWith("0 [Velmora壁纸 Linux 菜单栏客户端\n\n用法：\n"));
    EXPECT_EQ(run({QStringLiteral("--refresh"), QStringLiteral("--nope")}),
              QByteArray("2 [] [错误：未知参数：--nope。使用 --help 查看用法。\n]"));
}

// A command works in the directory --app-data names, never in the one the variable names.
TEST(Executable, AppDataOnTheCommandLineWinsOverTheEnvironment) {
    velmora::test::TempDir temp;
    const QString arg = temp.path(QStringLiteral("arg")), env = temp.path(QStringLiteral("env"));
    EXPECT_TRUE(runExecutable(QStringLiteral(VELMORA_EXECUTABLE),
                              {QStringLiteral("--status"), QStringLiteral("--app-data"), arg},
                              {{QStringLiteral("VELMORA_MAC_APPDATA"), env}})
                    .startsWith("0 ["));
    // Bytes that are not UTF-8 would name another directory: refused, and nothing made.
    for (const char *variable : {"VELMORA_MAC_APPDATA", "XDG_DATA_HOME", "HOME"}) {
        const QByteArray saved = qgetenv(variable);
        qputenv(variable, QFile::encodeName(env) + "\xff\xfe");
        EXPECT_EQ(run({QStringLiteral("--status")}), QByteArray("2 [] [错误：环境变量 ") +
                                                         variable +
                                                         " 的目录路径不是有效的 UTF-8。\n]");
        saved.isNull() ? qunsetenv(variable) : qputenv(variable, saved);
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("arg")});
}

} // namespace
