// The menu-bar controller against the embedded development service, with scripted answers to
// its alerts and panels: what the menu shows, what is logged, stored and shown after each flow;
// and the real alerts it shows them with.
#include "ui/MenuBarController.h"
#include "integration/ClientHarness.h"
#include "support/Screenshot.h"
#include "support/ScriptedUi.h"
#include "support/Server.h"
#include "support/TestContext.h"
#include "ui/MenuWindow.h"
#include "ui/SessionWatcher.h"
#include "ui/StatusItem.h"
#include "ui/WidgetPresenter.h"

#include "core/Preferences.h"
#include "net/PromotionHandoff.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;
using namespace velmora;
using test::pumpUntil;

namespace {

// The menu as text, one item per line: "-" a separator, "~" disabled, "[x]"/"[ ]" a check
// mark, "⌘R" a shortcut, submenus indented.
QString dump(const QMenu *menu, int depth = 0) {
    QString text;
    for (const QAction *action : menu->actions()) {
        text += QString(depth * 2, u' ');
        if (action->isSeparator()) {
            text += u"-\n"_s;
            continue;
        }
        if (!action->isEnabled())
            text += u'~';
        if (action->isCheckable())
            text += action->isChecked() ? u"[x] "_s : u"[ ] "_s;
        text += action->text();
        if (!action->shortcut().isEmpty())
            text += u' ' + action->shortcut().toString();
        text += u'\n';
        if (action->menu())
            text += dump(action->menu(), depth + 1);
    }
    return text;
}

// What the user reads when today's file fails its check, and when the service answers 503.
const QString kBadDigest = u"壁纸文件校验失败，已保留当前桌面。"_s;
const QString kDigestAlert = u"!操作失败|"_s + kBadDigest + u"|确定"_s;
const QString k503 = u"服务器返回错误（HTTP 503）：服务器暂时无法处理请求。"_s;

class MenuBar : public test::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        run.context.serverOverride = service->origin();
        // On by default; the tests that are about it turn it on again.
        AutomaticUpdatePreference::setEnabled(false, run.context.defaults);
    }

    void launch() {
        controller = std::make_unique<MenuBarController>(run.context, ticket, presenter, workspace);
        controller->applicationDidFinishLaunching();
    }

    // Launches with the first-use prompt already answered and, unless told otherwise, a stored
    // credential.
    void launchEnrolled(bool withCredential = true) {
        ASSERT_TRUE(run.context.paths.ensure().ok());
        ASSERT_TRUE(!withCredential ||
                    run.context.credentials->save(*enrolledClient()->activation()).ok());
        QFile(run.context.paths.startupPromptMarker()).open(QIODevice::WriteOnly);
        launch();
    }

    // ... waits for the startup refresh to finish and forgets what it painted, asked and logged
    // (what it showed, alertsOf forgets).
    void launchConnected() {
        launchEnrolled();
        ASSERT_TRUE(
            pumpUntil([&] { return !run.desktop->calls.empty() && !controller->isBusy(); }));
        run.desktop->calls.clear();
        service->clearRequests();
        QFile::remove(run.context.paths.clientLog());
    }

    // Waits until the controller is idle again and `alerts` alerts were shown.
    bool settle(qsizetype alerts = 0) {
        const bool done =
            pumpUntil([&] { return !controller->isBusy() && presenter.shown.size() >= alerts; });
        QCoreApplication::processEvents();
        return done;
    }

    // Does `act`; the alerts it brought, one per line, once `alerts` came and all is idle.
    QString alertsOf(const std::function<void()> &act, qsizetype alerts = 1) {
        presenter.shown.clear();
        act();
        settle(alerts);
        return presenter.shown.join(u'\n');
    }
    QString choose(QAction *action, qsizetype alerts = 1) {
        return alertsOf([action] { action->trigger(); }, alerts);
    }
    QAction *item(int index) const { return controller->menu()->actions().at(index); }

    QString status() const { return controller->menu()->actions().first()->text(); }
    QString logText() const {
        QFile file(run.context.paths.clientLog());
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll())
            .remove(QRegularExpression(QStringLiteral(R"(\[[0-9T:Z-]+\] )")));
    }
    auto requests(const QString &path) const {
        return std::ranges::count(service->requests(), path, &dev::RecordedRequest::path);
    }

    std::optional<QString> ticket;
    test::TestContext run;
    test::ScriptedPresenter presenter;
    test::RecordingWorkspace workspace;
    std::unique_ptr<MenuBarController> controller;
};

TEST_F(MenuBar, AFirstLaunchEnrolsAsksOnceThenSetsTodaysWallpaper) {
    AutomaticUpdatePreference::setEnabled(true, run.context.defaults); // the box turns it off
    presenter.answers.push_back({0, {false, false}});
    launch();
    ASSERT_TRUE(pumpUntil([&] { return controller->isBusy(); }));
    EXPECT_EQ(status(), u"状态：正在自动连接…"_s);
    ASSERT_TRUE(pumpUntil([&] { return !run.desktop->calls.empty() && !controller->isBusy(); }));

    EXPECT_EQ(
        presenter.shown,
        QStringList{u"首次使用设置|以下两项默认开启，可取消勾选，也可以稍后从菜单栏“设置”中修改。|"
                    "保存并继续|开机自动启动,自动更新软件"_s});
    EXPECT_FALSE(AutomaticUpdatePreference::isEnabled(run.context.defaults));
    EXPECT_TRUE(QFile::exists(run.context.paths.startupPromptMarker()));
    EXPECT_TRUE(status().startsWith(u"状态：已设置 "_s + service->todayWallpaper().effectiveDate +
                                    u" · "_s));
    EXPECT_TRUE(logText().startsWith(u"启动客户端 version=1.3.0 path="_s));
    EXPECT_EQ(test::permissions(run.context.paths.clientLog()), 0600);
}

// The menu as it follows the connection, then what waits for a refresh that runs, and what the
// screens and the network bring between two hourly ticks.
TEST_F(MenuBar, TheMenuAndTheSessionWaitForARunningRefresh) {
    run.context.defaults.setString(u"networkProxyMode"_s, u"direct"_s);
    launchConnected();
    controller->updateMenu();
    EXPECT_EQ(dump(controller->menu()), u"~状态：已连接 · 测试机\n"
                                        "-\n"
                                        "刷新今日壁纸 Ctrl+R\n"
                                        "一键保存今日壁纸\n"
                                        "获取红包口令\n"
                                        "分享与推广\n"
                                        "  复制我的推广链接\n"
                                        "设置\n"
                                        "  显示方式\n"
                                        "    [x] 完整显示（推荐）\n"
                                        "    [ ] 填满屏幕（可能裁切）\n"
                                        "  网络连接\n"
                                        "    [ ] 跟随系统代理\n"
                                        "    [x] 直连（忽略系统代理）\n"
                                        "  [ ] 开机自动运行\n"
                                        "  [ ] 自动更新软件\n"
                                        "帮助与维护\n"
                                        "  重新连接服务\n"
                                        "  检查更新\n"
                                        "  打开数据目录\n"
                                        "  关于Velmora壁纸\n"
                                        "-\n"
                                        "退出 Ctrl+Q\n"_s);
    EXPECT_EQ(controller->menu()->actions().first()->toolTip(),
              service->origin() + u"\n网络：直连（忽略系统代理）"_s);
    controller->menu()->adjustSize();
    test::saveScreenshot(controller->menu(), u"menu-connected"_s);

    // Busy while connected: only the data folder, About and Quit stay usable (and the submenus
    // that lead there). The refresh is slow enough for the burst below to settle while it runs,
    // on a loaded machine too.
    service->setFault(test::kTodayPath, {.delayMs = 5000});
    controller->refreshWallpaper(false);
    QScreen *screen = QGuiApplication::primaryScreen();
    for (const int width : {1280, 1600, 1920})
        emit screen->geometryChanged(QRect(0, 0, width, 1080));
    EXPECT_EQ(controller->statusItem()->opacity(), 0.55);
    EXPECT_EQ(dump(controller->menu()).split(u'\n').filter(QRegularExpression(u"^ *[^ ~-]"_s)),
              QStringList({"  显示方式", "  网络连接", "帮助与维护", "  打开数据目录",
                           "  关于Velmora壁纸", "退出 Ctrl+Q"}));
    // The window shown where no tray exists shares the menu's actions, so it waits too.
    MenuWindow window(controller->menu());
    window.show();
    window.adjustSize();
    const QList<QAbstractButton *> buttons = window.findChildren<QAbstractButton *>();
    ASSERT_FALSE(buttons.isEmpty());
    EXPECT_EQ(buttons.first()->text(), u"刷新今日壁纸"_s);
    EXPECT_FALSE(buttons.first()->isEnabled());
    test::saveScreenshot(&window, u"no-tray-window"_s);
    // So does the burst of screen changes, settled meanwhile.
    pumpUntil([] { return false; }, SessionWatcher::screenSettleMs + 300);
    EXPECT_TRUE(run.desktop->calls.empty());
    // A second refresh or an enrolment while busy is ignored; an invite is refused aloud.
    EXPECT_EQ(alertsOf([&] {
                  controller->refreshWallpaper(true);
                  controller->beginAutomaticRegistration(true);
                  controller->beginInviteActivation(service->createInviteTicket());
              }),
              u"!操作失败|客户端正在处理上一项操作，请稍后再试。|确定"_s);

    // After the refresh, the last verified wallpaper is put back once, without the network. (A
    // desktop that lays its screens out itself gets nothing: the sway session test shows that.)
    const QString date = service->todayWallpaper().effectiveDate;
    const QString applied = u"显示器变化，已重新设置上次校验通过的壁纸 date="_s + date + u'\n';
    ASSERT_TRUE(pumpUntil([&] { return logText() == applied; }));
    // Reachability, as the system's network information reports it (reported by hand here: the
    // machine has no backend): no refresh after a refresh that succeeded.
    SessionWatcher *network = controller->sessionWatcher();
    for (const bool reachable : {false, true})
        network->setNetworkReachable(reachable);
    pumpUntil([] { return false; }, SessionWatcher::networkSettleMs + 300);
    EXPECT_EQ(logText(), applied);
    ASSERT_EQ(run.desktop->calls.size(), 4u) << "the refresh and one re-apply, on both screens";
    EXPECT_EQ(run.desktop->calls.back().file, run.desktop->calls.front().file);
    EXPECT_EQ(service->requests().size(), 1u);

    // One after an hourly refresh that fell back, in silence.
    service->setFault(test::kTodayPath, {.status = 503});
    EXPECT_EQ(alertsOf([&] { controller->refreshWallpaper(false); }, 0), QString());
    ASSERT_EQ(status(), u"状态：离线，沿用 "_s + date);
    service->clearFaults();
    service->clearRequests();
    QFile::remove(run.context.paths.clientLog());
    for (const bool reachable : {false, true, false, true})
        network->setNetworkReachable(reachable);
    ASSERT_TRUE(pumpUntil([&] { return requests(test::kTodayPath) == 1; }));
    pumpUntil([] { return false; }, SessionWatcher::networkSettleMs + 300);
    // Each refresh the network brings is logged, so one line means one refresh.
    EXPECT_EQ(logText(), u"网络已恢复，刷新壁纸\n"_s);
}

// Without a connection the menu waits disabled and says why; the rewards item enrols first.
TEST_F(MenuBar, StartingOfflineTheMenuWaitsUntilTheRewardsItemOrReconnectingEnrols) {
    service->setFault(u"/api/client/register"_s, {.status = 500});
    launchEnrolled(false);
    ASSERT_TRUE(settle(1));
    EXPECT_EQ(status(), u"状态：暂时未连接"_s);
    const QString menu = dump(controller->menu());
    EXPECT_TRUE(menu.contains(u"~刷新今日壁纸"_s));
    EXPECT_TRUE(menu.contains(u"  ~复制我的推广链接（需先连接）"_s));
    EXPECT_EQ(alertsOf([&] { controller->refreshWallpaper(true); }),
              u"!操作失败|客户端尚未完成自动连接，请稍后重试。|确定"_s);

    service->clearFaults();
    item(4)->trigger();
    ASSERT_TRUE(pumpUntil([&] { return requests(u"/api/client/rewards"_s) == 1; }));
    settle();

    // Reconnecting replaces the credential and says so.
    const QString before = run.context.credentials->load().value()->token;
    EXPECT_EQ(choose(item(7)->menu()->actions().at(0)),
              u"连接成功|客户端已自动连接，无需激活码。|确定"_s);
    EXPECT_NE(run.context.credentials->load().value()->token, before);
    EXPECT_EQ(controller->activation()->token, run.context.credentials->load().value()->token);
}

struct RefreshRow {
    const char *name;
    bool verifiedBefore; // a wallpaper was verified and applied before the failure
    bool downloadFails;  // the descriptor arrives, the file fails its digest
    QString status;      // "%1" = the date of the last verified wallpaper
    QString alert;
};

class MenuBarRefresh : public MenuBar, public ::testing::WithParamInterface<RefreshRow> {};

// From the menu; the hourly refresh falls back in silence (see the menu test).
TEST_P(MenuBarRefresh, FailuresFallBackToTheLastVerifiedWallpaper) {
    const RefreshRow &row = GetParam();
    launchConnected();
    const QString date = service->todayWallpaper().effectiveDate;
    if (!row.verifiedBefore)
        QFile::remove(run.context.paths.lastWallpaperRecord());
    if (row.downloadFails)
        failTodaysDownloadCheck();
    else
        service->setFault(test::kTodayPath, {.status = 503});

    EXPECT_EQ(alertsOf([&] { controller->refreshWallpaper(true); }),
              QString(row.alert).replace(u"%1"_s, date));
    EXPECT_EQ(logText(), row.downloadFails ? u"下载壁纸失败："_s + kBadDigest + u'\n'
                                           : u"刷新壁纸失败："_s + k503 + u'\n');
    EXPECT_EQ(status(), QString(row.status).replace(u"%1"_s, date));
    EXPECT_EQ(run.desktop->calls.empty(), !row.verifiedBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MenuBarRefresh,
    ::testing::Values(RefreshRow{"OfflineFromTheMenu", true, false, "状态：离线，沿用 %1",
                                 "暂时无法连接服务器|已沿用上次校验通过的壁纸（%1）。\n\n详情：" +
                                     k503 + "|确定"},
                      RefreshRow{"OfflineOnAFirstRun", false, false,
                                 "状态：刷新失败 · 等待下次重试", "!操作失败|" + k503 + "|确定"},
                      RefreshRow{"BadDigestFallsBack", true, true, "状态：离线，沿用 %1",
                                 "壁纸下载失败|已沿用上次校验通过的壁纸（%1）。\n\n详情：" +
                                     kBadDigest + "|确定"},
                      RefreshRow{"BadDigestWithoutFallback", false, true, "状态：已连接 · 测试机",
                                 kDigestAlert}),
    [](const auto &info) { return std::string(info.param.name); });

// Saving today's wallpaper asks for a folder and leaves the desktop alone; then the settings,
// sharing and invite links.
TEST_F(MenuBar, SavingTheSettingsAndInvitesAreConfirmed) {
    launchConnected();

    presenter.folders.push_back(std::nullopt);
    EXPECT_EQ(choose(item(3), 0), QString());
    EXPECT_TRUE(service->requests().empty());

    const QString folder = run.temp.path(u"图片"_s);
    QDir().mkpath(folder);
    presenter.folders.push_back(folder);
    const QString shown = choose(item(3));
    const QString saved = shown.section(u'\n', 1).section(u'|', 0, 0);
    EXPECT_TRUE(shown.startsWith(u"今日壁纸已保存|已保存到：\n"_s + folder + u'/'));
    const QString date = service->todayWallpaper().effectiveDate;
    EXPECT_EQ(status(), u"状态：已保存 "_s + date);
    EXPECT_TRUE(logText().endsWith(u"已保存今日壁纸 date="_s + date + u" path="_s + saved + u'\n'));
    EXPECT_TRUE(presenter.panels.first().startsWith(u"选择今日壁纸的保存目录|选择此目录|"_s));

    failTodaysDownloadCheck();
    presenter.folders.push_back(folder);
    EXPECT_EQ(choose(item(3)), kDigestAlert);
    EXPECT_TRUE(logText().endsWith(u"保存前下载今日壁纸失败："_s + kBadDigest + u'\n'));
    EXPECT_TRUE(run.desktop->calls.empty());

    // The settings submenu: every switch is stored, its mark follows what was stored, and a failed
    // change keeps the old mark. About and the promotion link confirm what they did, too.
    service->clearFaults();
    QMenu *settings = item(6)->menu();
    QAction *autoUpdate = settings->actions().at(3);
    EXPECT_EQ(choose(autoUpdate),
              u"自动更新设置|已开启。发现新版本后会自动下载、校验并打开安装包。|确定"_s);
    EXPECT_TRUE(autoUpdate->isChecked());

    // The stand-in systemctl fails: the error is shown and the mark stays off.
    test::writeFile(run.temp.path(u"systemctl"_s), "#!/bin/sh\necho 拒绝 >&2\nexit 1\n", 0755);
    QAction *startup = settings->actions().at(2);
    EXPECT_TRUE(choose(startup).startsWith(u"!操作失败|"_s));
    EXPECT_FALSE(startup->isChecked());

    // Fill is stored and today's wallpaper applied again in it.
    QMenu *display = settings->actions().at(0)->menu();
    choose(display->actions().at(1), 0);
    ASSERT_FALSE(run.desktop->calls.empty());
    EXPECT_TRUE(run.desktop->calls.back().options.allowClipping);
    EXPECT_TRUE(display->actions().at(1)->isChecked() && !display->actions().at(0)->isChecked());

    // Direct connection: stored, logged and confirmed; choosing it again keeps its mark.
    QMenu *network = settings->actions().at(1)->menu();
    EXPECT_EQ(choose(network->actions().at(1)),
              u"网络连接已切换|后续登记、刷新、下载、更新和推广请求将忽略"
              "系统代理，直接连接 wallpaper.velmora.example。|确定"_s);
    EXPECT_TRUE(logText().endsWith(u"切换网络连接 proxy=direct\n"_s));
    EXPECT_EQ(choose(network->actions().at(1), 0), QString());
    EXPECT_TRUE(network->actions().at(1)->isChecked());

    EXPECT_EQ(choose(item(7)->menu()->actions().at(3)),
              u"Velmora壁纸|Linux 菜单栏客户端\n版本 1.3.0\n\n每日从 "
              "wallpaper.velmora.example 获取并设置壁纸。|确定"_s);

    // The promotion link goes to the clipboard, or the user hears why not.
    QAction *copy = item(5)->menu()->actions().first();
    EXPECT_EQ(choose(copy),
              u"推广链接已复制|已复制你的专属推广链接，可以直接粘贴分享给朋友。|确定"_s);
    EXPECT_EQ(workspace.copied.size(), 1);
    workspace.clipboardWorks = false;
    EXPECT_EQ(choose(copy), u"!操作失败|无法写入系统剪贴板。|确定"_s);

    const QString inviteTicket = service->createInviteTicket();
    const QString link = PromotionHandoff::buildURI(inviteTicket).value();

    // Invite links are confirmed when enrolled; only their scheme is logged. Cancelled: nothing
    // is sent.
    service->clearRequests();
    presenter.answers.push_back({1, {}});
    EXPECT_EQ(alertsOf([&] {
                  controller->openURLs(
                      {QUrl(u"https://example.com/?ticket="_s + inviteTicket), QUrl(link)});
              }),
              u"关联此邀请来源？|客户端无需激活码即可使用；继续后会把当前设备关联到该"
              "推广渠道。|继续,取消"_s);
    EXPECT_TRUE(service->requests().empty());
    EXPECT_TRUE(logText().endsWith(u"\n忽略无效邀请链接：https\n"_s));

    // Accepted: the device is associated and today's wallpaper is set.
    EXPECT_EQ(alertsOf([&] { controller->openURLs({QUrl(link)}); }, 2).section(u'\n', 1),
              u"邀请关联成功|已记录推广来源，现在尝试设置今日壁纸。|确定"_s);
    EXPECT_FALSE(logText().contains(inviteTicket));

    EXPECT_EQ(alertsOf([&] { controller->beginInviteActivation(u"not a ticket"_s); }),
              u"!操作失败|邀请链接已损坏或无效。|确定"_s);
}

// Automatic updates first: a version is opened once, a failed open retried after the next
// refresh; then the same package asked for from the menu.
TEST_F(MenuBar, UpdatesOpenOnlyAVerifiedPackageAndAutomaticallyEachVersionOnce) {
    dev::UpdatePackage offer = dev::DevService::syntheticUpdate(u"1.4.0"_s, 20'000);
    offer.fileName = u"velmora-wallpaper_1.4.0_amd64.deb"_s;
    offer.platform = u"linux"_s;
    const dev::UpdatePackage package = *service->setUpdatePackage(offer);
    const QString file = run.context.paths.updates() + u"/"_s + package.fileName;
    AutomaticUpdatePreference::setEnabled(true, run.context.defaults);
    workspace.handlerWorks = false;
    launchEnrolled();
    ASSERT_TRUE(settle(2)) << presenter.shown.join(u'\n').toStdString() << logText().toStdString();
    // A launch with a credential greets once.
    EXPECT_EQ(presenter.shown.join(u'\n'),
              u"Velmora壁纸已启动|客户端运行在面板托盘区的Velmora图标中，不会显示在任务栏。"
              "\n\n你可以从菜单栏刷新、保存壁纸或切换显示方式。|确定\n"
              "!操作失败|更新包已下载，但系统未能自动打开："_s +
                  file + u"|确定"_s);

    workspace.handlerWorks = true;
    controller->refreshWallpaper(false);
    ASSERT_TRUE(pumpUntil([&] { return workspace.opened.size() == 2 && !controller->isBusy(); }));
    EXPECT_EQ(status(), u"状态：已打开新版本安装包 1.4.0"_s);
    EXPECT_TRUE(logText().endsWith(u"自动更新安装包已打开 version=1.4.0\n"_s));

    // Nothing is opened again, and what a killed update download left is swept.
    QFile killed(run.context.paths.updates() + u"/.a.deb.Xy12.download"_s);
    killed.open(QIODevice::WriteOnly);
    killed.setFileTime(QDateTime::fromSecsSinceEpoch(1'000'000'000), QFile::FileModificationTime);
    killed.close();
    controller->refreshWallpaper(false);
    settle();
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(workspace.opened.size(), 2);
    EXPECT_FALSE(killed.exists());

    // Asked for, the package already verified here is opened again, and an older one goes.
    const QString older = run.context.paths.updates() + u"/older.deb"_s;
    test::writeFile(older, "an older package");
    const auto check = [&](int alerts) {
        return alertsOf([&] { controller->checkForUpdates(true); }, alerts);
    };
    EXPECT_EQ(check(2), u"发现 Linux 新版本 1.4.0|开发服务生成的测试更新包。\n\n下载完成后将打开"
                        "安装包，请确认其来源和签名。|下载并打开,稍后\n"
                        "更新包已下载|已打开 velmora-wallpaper_1.4.0_amd64.deb。请"
                        "按 Linux 安装器提示完成更新。|确定"_s);
    EXPECT_EQ(workspace.opened, QList<QUrl>(3, QUrl::fromLocalFile(file)));
    EXPECT_FALSE(QFile::exists(older));

    // A package altered in the updates directory is fetched again, not opened.
    test::writeFile(file, "altered");
    check(2);
    EXPECT_EQ(requests(package.downloadPath), 2);
    EXPECT_EQ(test::readAll(file), package.bytes);

    // Nor is a download that does not match the offer's digest.
    QFile::remove(file);
    service->setFault(package.downloadPath, {.body = QByteArray("tampered")});
    EXPECT_TRUE(check(2).endsWith(u'\n' + kDigestAlert));
    EXPECT_EQ(workspace.opened.size(), 4);

    // A package this platform cannot install is never downloaded.
    offer.fileName = u"VelmoraWallpaper.dmg"_s;
    service->setUpdatePackage(offer);
    EXPECT_EQ(check(1),
              u"暂无 Linux 更新|服务器当前发布的更新包不是 Linux 格式，未执行安装。|确定"_s);
}

// A stand-in logind on a private system bus announces the end of a sleep: a refresh follows,
// unless one started less than a minute before by the wall clock. Only logind is listened to.
TEST_F(MenuBar, WakingFromSleepRefreshesUnlessARefreshJustStarted) {
    test::Server bus("dbus-daemon", u"--session --nofork --print-address=1"_s.split(u' '));
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
    QDBusConnection logind =
        QDBusConnection::connectToBus(QString::fromUtf8(bus.address()), u"logind"_s);
    ASSERT_TRUE(logind.registerService(u"org.freedesktop.login1"_s));
    QDBusConnection intruder =
        QDBusConnection::connectToBus(QString::fromUtf8(bus.address()), u"other"_s);
    const auto announce = [](QDBusConnection &from, bool sleeping) {
        from.send(QDBusMessage::createSignal(u"/org/freedesktop/login1"_s,
                                             u"org.freedesktop.login1.Manager"_s,
                                             u"PrepareForSleep"_s)
                  << sleeping);
    };
    const auto clock = std::make_shared<QDateTime>(run.context.now());
    run.context.now = [clock] {
        return *clock;
    };
    launchConnected();

    *clock = clock->addSecs(30);
    for (QDBusConnection *from : {&logind, &intruder})
        announce(*from, true);
    announce(logind, false);
    ASSERT_TRUE(pumpUntil([&] { return !logText().isEmpty(); }));
    *clock = clock->addSecs(8 * 3600);
    announce(intruder, false);
    pumpUntil([] { return false; }, 300);
    // A wake that refreshes says so first: none did.
    EXPECT_EQ(logText(), u"系统已唤醒：一分钟内刚刷新过壁纸\n"_s);

    announce(logind, false);
    ASSERT_TRUE(pumpUntil([&] { return requests(test::kTodayPath) == 1; }));
    settle();
    EXPECT_EQ(logText(), u"系统已唤醒：一分钟内刚刷新过壁纸\n系统已唤醒，刷新壁纸\n"_s);
    QDBusConnection::disconnectFromBus(u"logind"_s);
    QDBusConnection::disconnectFromBus(u"other"_s);
}

// Shows `alert` as the application does, checks that the box says what it was given and saves
// it, then clears the first check box (if any) and clicks the button `expected` names: the
// answer must be `expected`.
void showAndAnswer(const Alert &alert, const char *screenshot, const AlertAnswer &expected) {
    WidgetPresenter presenter;
    std::optional<AlertAnswer> answer;
    presenter.showAlert(alert, [&](AlertAnswer a) { answer = a; });
    QMessageBox *box = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        return box && box->isVisible();
    }));
    test::saveScreenshot(box, QString::fromUtf8(screenshot));
    EXPECT_EQ(box->windowTitle(), alert.title);
    EXPECT_EQ(box->icon(), alert.style == Alert::Style::Warning ? QMessageBox::Warning
                                                                : QMessageBox::Information);
    QStringList buttons, checks;
    for (const QAbstractButton *button : box->buttons())
        buttons << button->text();
    for (const QCheckBox *check : box->findChildren<QCheckBox *>())
        checks << check->text();
    EXPECT_EQ(buttons, alert.buttons);
    EXPECT_EQ(checks, alert.checkBoxes);
    if (!checks.isEmpty())
        box->findChildren<QCheckBox *>().first()->setChecked(false);
    box->buttons().at(expected.button)->click();
    ASSERT_TRUE(pumpUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(answer->button, expected.button);
    EXPECT_EQ(answer->checked, expected.checked);
}

// The real alerts as drawn: buttons in the given order answering with their index, the
// first-use check boxes, the warning icon. Each is also saved as a PNG under
// <build>/screenshots for a person to look at.
TEST(Alerts, KeepTheButtonOrderAndAnswerWithTheCheckBoxes) {
    showAndAnswer({Alert::Style::Informational,
                   u"关联此邀请来源？"_s,
                   u"客户端无需激活码即可使用；继续后会把当前设备关联到该推广渠道。"_s,
                   {u"继续"_s, u"取消"_s}},
                  "alert-invite", {1, {}});
    showAndAnswer({Alert::Style::Informational,
                   u"首次使用设置"_s,
                   u"以下两项默认开启，可取消勾选，也可以稍后从菜单栏“设置”中修改。"_s,
                   {u"保存并继续"_s},
                   {u"开机自动启动"_s, u"自动更新软件"_s}},
                  "first-use-prompt", {0, {false, true}});
    showAndAnswer({Alert::Style::Warning, u"操作失败"_s, kBadDigest, {u"确定"_s}}, "alert-error",
                  {0, {}});
}

} // namespace
