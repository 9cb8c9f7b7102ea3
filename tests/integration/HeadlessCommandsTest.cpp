// Every headless command run as a user runs it: the built executable, a private HOME and data
// directory, the embedded service, and exact standard output, standard error and exit status.
#include "ClientHarness.h"
#include "core/KeychainStore.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

using namespace velmora;
using velmora::test::ServiceTest;
using velmora::test::TempDir;

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

class HeadlessCommands : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        for (const char *folder : {"home", "config", "data", "bin"})
            QDir().mkpath(temp.path(QString::fromLatin1(folder)));
        // A stand-in for systemctl that records its arguments and succeeds.
        test::writeFile(temp.path(QStringLiteral("bin/systemctl")),
                        "#!/bin/sh\necho \"$@\" >> \"$HOME/systemctl.log\"\nexit 0\n", 0755);
    }

    Outcome run(QStringList arguments) {
        arguments << QStringLiteral("--app-data") << dataRoot();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                 "VELMORA_MAC_APPDATA", "http_proxy", "https_proxy"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("HOME"), temp.path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), temp.path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), temp.path(QStringLiteral("data")));
        environment.insert(QStringLiteral("VELMORA_SERVER"), service->origin());
        environment.insert(QStringLiteral("PATH"),
                           temp.path(QStringLiteral("bin")) + QStringLiteral(":/usr/bin:/bin"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VELMORA_EXECUTABLE), arguments);
        // The service answers on this thread's event loop only in the child; just wait.
        if (!process.waitForFinished(60'000))
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString dataRoot() const { return temp.path(QStringLiteral("app-data")); }

    std::optional<ActivationState> stored(const QString &root) const {
        const auto loaded = KeychainStore(ClientPaths(root)).load();
        return loaded.ok() ? *loaded : std::nullopt;
    }

    TempDir temp;
};

TEST_F(HeadlessCommands, WithoutACredentialStatusPrintsFourLinesAndStartupCommandsTouchNoAgent) {
    const Outcome status = run({QStringLiteral("--status")});
    EXPECT_EQ(status.status, 0);
    EXPECT_EQ(
        status.out,
        QStringLiteral("activated=no\nstartup=disabled\nautoUpdate=enabled\nnetwork=system\n"));
    EXPECT_EQ(status.err, QString());

    const Outcome startup = run({QStringLiteral("--startup-status")});
    EXPECT_EQ(startup.status, 0);
    EXPECT_EQ(startup.out, QStringLiteral("disabled\n"));

    const Outcome refused = run({QStringLiteral("--startup-disable")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, QString());
    EXPECT_EQ(refused.err,
              QStringLiteral("错误：使用自定义 --app-data 时不会修改正式 LaunchAgent。\n"));
    EXPECT_FALSE(QFile::exists(temp.path(QStringLiteral("home/systemctl.log"))));
}

TEST_F(HeadlessCommands, RegisterStoresACredentialThatStatusDescribesWithoutTheToken) {
    const Outcome registered = run({QStringLiteral("--register")});
    ASSERT_EQ(registered.status, 0) << registered.err.toStdString();
    const std::optional<ActivationState> credential = stored(dataRoot());
    ASSERT_TRUE(credential);
    const QString lines =
        QStringLiteral("server=%1\ndevice=%2\ndeviceId=%3…\n")
            .arg(service->origin(), credential->deviceName, credential->deviceId.left(12));
    EXPECT_EQ(registered.out, QStringLiteral("registered=yes\n") + lines);

    const Outcome status = run({QStringLiteral("--status")});
    EXPECT_EQ(status.status, 0);
    EXPECT_EQ(
        status.out,
        QStringLiteral("activated=yes\nstartup=disabled\nautoUpdate=enabled\nnetwork=system\n") +
            lines);
    EXPECT_FALSE(status.out.contains(credential->token));
    EXPECT_EQ(credential->deviceId.size(), 64);
}

TEST_F(HeadlessCommands, ClearTwiceSucceedsAndLeavesTheAgentOfAPrivateDirectoryAlone) {
    ASSERT_EQ(run({QStringLiteral("--register")}).status, 0);
    for (int i = 0; i < 2; ++i) {
        const Outcome cleared = run({QStringLiteral("--clear")});
        EXPECT_EQ(cleared.status, 0);
        EXPECT_EQ(cleared.out, QStringLiteral("已清除本机服务凭证；下次运行会自动重新登记\n"));
    }
    EXPECT_FALSE(stored(dataRoot()));
    EXPECT_FALSE(QFile::exists(temp.path(QStringLiteral("home/systemctl.log"))));
}

TEST_F(HeadlessCommands, StartupEnableWithAStoredCredentialSendsNothing) {
    ASSERT_EQ(run({QStringLiteral("--register")}).status, 0);
    service->clearRequests();
    const Outcome enabled = run({QStringLiteral("--startup-enable")});
    ASSERT_EQ(enabled.status, 0) << enabled.err.toStdString();
    EXPECT_EQ(enabled.out, QStringLiteral("已启用开机自动刷新\n"));
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(QFile::exists(temp.path(QStringLiteral("home/systemctl.log"))));
}

TEST_F(HeadlessCommands, ActivateInviteStoresTheInviteCredential) {
    const QString ticket = service->createInviteTicket();
    const Outcome activated = run({QStringLiteral("--activate-invite"),
                                   QStringLiteral("velmora://activate?ticket=") + ticket});
    ASSERT_EQ(activated.status, 0) << activated.err.toStdString();
    const std::optional<ActivationState> credential = stored(dataRoot());
    ASSERT_TRUE(credential);
    EXPECT_TRUE(activated.out.startsWith(QStringLiteral("activated=yes\nserver=") +
                                         service->origin() + u'\n'));
    EXPECT_TRUE(service->isValidToken(credential->token));
    EXPECT_FALSE(activated.out.contains(ticket));

    // A spent ticket fails, but the fresh enrolment of that attempt is kept.
    QFile::remove(ClientPaths(dataRoot()).activationFallback());
    const Outcome spent = run({QStringLiteral("--activate-invite"), ticket});
    EXPECT_EQ(spent.status, 1);
    EXPECT_TRUE(spent.err.startsWith(QStringLiteral("错误：服务器返回错误（HTTP ")));
    EXPECT_FALSE(spent.err.contains(ticket));
    EXPECT_TRUE(stored(dataRoot()));
}

TEST_F(HeadlessCommands, RefreshRefusesAnotherOriginAndReportsFailuresOnStandardError) {
    ASSERT_EQ(run({QStringLiteral("--register")}).status, 0);
    service->clearRequests();
    const Outcome refused =
        run({QStringLiteral("--refresh"), QStringLiteral("--server"), otherOrigin().origin()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, QString());
    EXPECT_EQ(refused.err,
              QStringLiteral("错误：服务器地址无效：当前服务器与本机凭证不一致，请重新登记。\n"));
    EXPECT_TRUE(service->requests().empty());

    // No display at all: the wallpaper is fetched and verified, then setting it fails clearly.
    const Outcome headless = run({QStringLiteral("--refresh")});
    EXPECT_EQ(headless.status, 1);
    EXPECT_EQ(headless.err, QStringLiteral("错误：当前没有可用的显示器。\n"));
}

} // namespace
