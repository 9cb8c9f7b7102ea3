// The real executable in its tray, read and clicked over D-Bus as a desktop panel does, and
// launched a second time as a browser opening an invite link does.
#include "ClientHarness.h"
#include "tools/trayhost/StatusNotifierHost.h"

#include "net/PromotionHandoff.h"

#include <QFile>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace velmora;
using test::pumpUntil;

namespace {

class TrayApp : public test::ExecutableTest {
protected:
    TrayApp()
        : ExecutableTest("1280x800x24", {u"xdotool"_s}) {}

    std::unique_ptr<QProcess> launch(const QStringList &extra = {}) {
        return ExecutableTest::launch(extra, host.environment());
    }

    QString status() {
        const std::optional<test::TrayMenuEntry> menu = host.readMenu();
        return menu && !menu->children.isEmpty() ? menu->children.first().label : QString();
    }

    const test::TrayMenuEntry *entry(const QStringList &path) {
        menu = host.readMenu().value_or(test::TrayMenuEntry{});
        return menu.find(path);
    }

    test::StatusNotifierHost host;
    test::TrayMenuEntry menu;
};

TEST_F(TrayApp, ASecondLaunchHandsItsTicketOverOrIsRefusedWithoutTouchingAnything) {
    const std::unique_ptr<QProcess> first = launch();
    ASSERT_FALSE(host.waitForItem().isEmpty()) << host.lastError().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return status().startsWith(u"状态：已连接 · "_s); }));
    ASSERT_TRUE(accept(u"首次使用设置"_s));

    // A link opened in the browser: handed over quietly; the running instance asks first,
    // since this device is enrolled.
    const QString ticket = service->createInviteTicket();
    const std::unique_ptr<QProcess> link = launch({PromotionHandoff::buildURI(ticket).value()});
    ASSERT_TRUE(pumpUntil([&] { return link->state() == QProcess::NotRunning; }));
    EXPECT_EQ(test::finish(*link).line(), "0 [] []");
    ASSERT_TRUE(accept(u"关联此邀请来源？"_s));
    EXPECT_TRUE(pumpUntil([&] {
        return std::ranges::any_of(service->requests(), [](const dev::RecordedRequest &request) {
            return request.path == u"/api/client/activate-by-invite";
        });
    }));

    // A plain second launch is refused and changes neither the log nor the credential.
    ASSERT_TRUE(pumpUntil([&] { return !status().contains(u"正在"_s); }));
    const QByteArray log = test::readAll(paths.clientLog());
    const QByteArray credential = test::readAll(paths.activationFallback());
    const std::unique_ptr<QProcess> second = launch();
    ASSERT_TRUE(accept(u"客户端已经在运行"_s));
    ASSERT_TRUE(pumpUntil([&] { return second->state() == QProcess::NotRunning; }));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(test::readAll(paths.clientLog()), log);
    EXPECT_EQ(test::readAll(paths.activationFallback()), credential);
}

// The menu as a user clicks it in the panel, with stand-ins for systemctl (which links the timer
// as the real one does) and xdg-open (which records the file).
TEST_F(TrayApp, APanelReadsTheMenuAndItsClicksReachTheSystem) {
    const QString bin = temp.path(u"bin"_s);
    const QString units = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/systemd/user"_s;
    const QString timer = u"example.velmora.wallpaper.refresh.timer"_s;
    ASSERT_TRUE(standIn(u"systemctl"_s, "echo \"$@\" >> \"$0.log\"\n"
                                        "case \"$2\" in enable) mkdir -p \"" +
                                            units.toUtf8() +
                                            "/timers.target.wants\" && ln -sf ../" +
                                            timer.toUtf8() + " \"" + units.toUtf8() +
                                            "/timers.target.wants/\";; esac\n"));
    ASSERT_TRUE(standIn(u"xdg-open"_s, "echo \"$1\" >> \"$0.log\"\n"));
    dev::UpdatePackage package = dev::DevService::syntheticUpdate(u"1.4.0"_s, 800);
    package.fileName = u"velmora-wallpaper_1.4.0_amd64.deb"_s;
    package.platform = u"linux"_s;
    service->setUpdatePackage(package);

    const std::unique_ptr<QProcess> app = launch();
    ASSERT_FALSE(host.waitForItem().isEmpty()) << host.lastError().toStdString();
    // The first-use question, both boxes ticked: the login agent is installed.
    ASSERT_TRUE(accept(u"首次使用设置"_s));
    const QStringList startup{u"设置"_s, u"开机自动运行"_s};
    ASSERT_TRUE(pumpUntil([&] {
        const test::TrayMenuEntry *item = entry(startup);
        return item && item->checked;
    })) << menu.dump().toStdString();
    EXPECT_TRUE(QFile::exists(units + u'/' + timer));
    // The startup refresh is followed by the automatic update: the package is opened.
    const QByteArray opened =
        QUrl::fromLocalFile(paths.updates() + u'/' + package.fileName).toEncoded() + '\n';
    EXPECT_TRUE(pumpUntil([&] { return test::readAll(bin + "/xdg-open.log") == opened; }))
        << test::readAll(bin + "/xdg-open.log").toStdString();

    ASSERT_TRUE(entry(startup));
    ASSERT_TRUE(host.click(entry(startup)->id));
    ASSERT_TRUE(accept(u"开机刷新设置"_s));
    EXPECT_FALSE(entry(startup)->checked);
    EXPECT_FALSE(QFile::exists(units + u'/' + timer));
    EXPECT_TRUE(test::readAll(bin + u"/systemctl.log"_s)
                    .contains("--user disable --now " + timer.toUtf8()));

    // The promotion link reaches the X clipboard.
    const QStringList copy{u"分享与推广"_s, u"复制我的推广链接"_s};
    ASSERT_TRUE(pumpUntil([&] { return entry(copy) && entry(copy)->enabled; }))
        << menu.dump().toStdString();
    ASSERT_TRUE(host.click(entry(copy)->id));
    ASSERT_TRUE(accept(u"推广链接已复制"_s));
    EXPECT_TRUE(
        test::runOnDisplay(xvfb->address(), u"xclip"_s, {u"-o"_s, u"-selection"_s, u"clipboard"_s})
            .startsWith(u"http"));

    ASSERT_TRUE(host.click(entry({u"退出"_s})->id));
    EXPECT_TRUE(host.waitForItemGone());
    // Already ended while the host watched it leave, or about to.
    ASSERT_TRUE(pumpUntil([&] { return app->state() == QProcess::NotRunning; }));
    EXPECT_EQ(app->exitCode(), 0) << app->readAllStandardError().toStdString();
}

} // namespace
