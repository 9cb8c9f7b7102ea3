// Runs the built executable as a user would: no display, exact bytes on stdout and stderr.
#include "support/Run.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using velmora::test::runExecutable;

namespace {

QByteArray run(const QStringList &arguments) {
    return runExecutable(QStringLiteral(VELMORA_EXECUTABLE), arguments);
}

TEST(Executable, RunsWithoutADisplayAndFailsWithOneErrorLine) {
    // --version is the bundle layouts' test (the self-test's).
    EXPECT_TRUE(run({u"-h"_s}).startsWith("0 [Velmora壁纸 Linux 菜单栏客户端\n\n用法：\n"));
    EXPECT_EQ(run({u"--refresh"_s, u"--nope"_s}),
              QByteArray("2 [] [错误：未知参数：--nope。使用 --help 查看用法。\n]"));
}

// A command works in the directory --app-data names, never in the one the variable names.
TEST(Executable, AppDataOnTheCommandLineWinsOverTheEnvironment) {
    velmora::test::TempDir temp;
    const QString arg = temp.path(u"arg"_s), env = temp.path(u"env"_s);
    EXPECT_TRUE(runExecutable(QStringLiteral(VELMORA_EXECUTABLE),
                              {u"--status"_s, u"--app-data"_s, arg},
                              {{u"VELMORA_MAC_APPDATA"_s, env}})
                    .startsWith("0 ["));
    // Bytes that are not UTF-8 would name another directory: refused, and nothing made.
    for (const char *variable : {"VELMORA_MAC_APPDATA", "XDG_DATA_HOME", "HOME"}) {
        const QByteArray saved = qgetenv(variable);
        qputenv(variable, QFile::encodeName(env) + "\xff\xfe");
        EXPECT_EQ(run({u"--status"_s}), QByteArray("2 [] [错误：环境变量 ") + variable +
                                            " 的目录路径不是有效的 UTF-8。\n]");
        saved.isNull() ? qunsetenv(variable) : qputenv(variable, saved);
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{u"arg"_s});
}

} // namespace
