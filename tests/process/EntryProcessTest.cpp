// Runs the built executable as a user would: no display, exact bytes on stdout and stderr.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status;
    QByteArray out;
    QByteArray err;
};

Outcome runExecutable(const QStringList &arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELMORA_EXECUTABLE), arguments);
    if (!process.waitForFinished(30000))
        return {-1, {}, {}};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

const QByteArray kUsage = R"USAGE(
Velmora壁纸 macOS 菜单栏客户端

用法：
  VelmoraWallpaper                 启动菜单栏客户端
  VelmoraWallpaper --refresh       拉取并设置今日壁纸后退出
  VelmoraWallpaper --register      自动登记本机（无需激活码）
  VelmoraWallpaper --status        显示激活和开机刷新状态
  VelmoraWallpaper --clear         清除本机服务凭证
  VelmoraWallpaper --startup-status
  VelmoraWallpaper --startup-enable
  VelmoraWallpaper --startup-disable
  VelmoraWallpaper --self-test   运行本地协议/安全自检
  VelmoraWallpaper --activate-invite <URI|票据>
                                     无界面关联邀请并保存服务凭证
  VelmoraWallpaper --invite-uri <URI>
                                     通过邀请链接启动并自动激活
  VelmoraWallpaper --handoff-ticket <票据>
                                     使用测试/本地启动器传入一次性票据
  VelmoraWallpaper --version       显示版本
  VelmoraWallpaper --help          显示此帮助

可选参数：
  --server <origin>                  覆盖服务器地址（正式环境必须 HTTPS；Debug 可用私有局域网地址）
  --app-data <directory>             覆盖 Application Support 目录
)USAGE";

TEST(Executable, PrintsVersionAndUsageWithoutADisplay) {
    const Outcome version = runExecutable({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("1.3.0\n"));
    EXPECT_EQ(version.err, QByteArray());

    for (const QString &word : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const Outcome help = runExecutable({word});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out, kUsage.mid(1)); // the literal starts after its opening line feed
        EXPECT_EQ(help.err, QByteArray());
    }
}

struct Rejection {
    QStringList arguments;
    const char *stderrText;
};

TEST(Executable, RejectedCommandLinesExitTwoWithOneErrorLine) {
    const QString ticket = QStringLiteral("Ab0-_cD1efGH2ijKL3mnOP4qrST5uvWX6yz-_789");
    const Rejection rejections[] = {
        {{QStringLiteral("--server")}, "错误：--server 需要一个地址。\n"},
        {{QStringLiteral("--handoff-ticket"), ticket, QStringLiteral("--refresh")},
         "错误：邀请票据只能与图形启动或 --activate-invite 一起使用。\n"},
        {{QStringLiteral("--invite-uri"), QStringLiteral("velmora://activate?ticket=") + ticket,
          QStringLiteral("--handoff-ticket"), ticket},
         "错误：只能指定一个邀请票据。\n"},
        {{QStringLiteral("--nope")}, "错误：未知参数：--nope。使用 --help 查看用法。\n"},
    };
    for (const Rejection &rejection : rejections) {
        const Outcome outcome = runExecutable(rejection.arguments);
        EXPECT_EQ(outcome.status, 2) << rejection.stderrText;
        EXPECT_EQ(outcome.out, QByteArray());
        EXPECT_EQ(outcome.err, QByteArray(rejection.stderrText));
    }
}

} // namespace
