#include "MenuBarController.h"

#include "core/PlatformWords.h"

#include "InstanceClient.h"
#include "InstanceServer.h"
#include "RewardWindowController.h"
#include "StatusItem.h"
#include "agent/LoginAgent.h"
#include "core/ClientConstants.h"
#include "core/ClientError.h"
#include "core/ClientLogFile.h"
#include "core/Preferences.h"
#include "core/StartupPromptMarker.h"
#include "net/PromotionHandoff.h"
#include "net/WallpaperAPIClient.h"
#include "usecases/Background.h"
#include "usecases/EnsureCredential.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// A menu shows "&" as a mnemonic marker; a device name is shown as it is.
QString menuText(QString text) {
    return text.replace(u'&', u"&&"_s);
}

} // namespace

MenuBarController::MenuBarController(ClientContext context,
                                     std::optional<QString> initialHandoffTicket,
                                     Presenter &presenter, Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_presenter(presenter)
    , m_workspace(workspace)
    , m_instanceLock(m_context.paths) {
    if (initialHandoffTicket)
        m_initialHandoffTicket = PromotionHandoff::normalizeTicket(*initialHandoffTicket);
}

MenuBarController::~MenuBarController() = default;

std::function<void()> MenuBarController::guarded(std::function<void()> step) {
    return [guard = QPointer<MenuBarController>(this), step = std::move(step)] {
        if (guard && step)
            step();
    };
}

void MenuBarController::applicationDidFinishLaunching() {
    if (Status ready = m_context.paths.ensure(); !ready)
        return showError(ready.error(), [this] { emit terminateRequested(1); });
    if (!m_instanceLock.acquire())
        return refuseSecondInstance();
    listenForOtherLaunches();

    log(u"启动客户端 version="_s + ClientConstants::currentVersion + u" path="_s +
        QCoreApplication::applicationFilePath() + u" proxy="_s + m_context.proxyMode().rawValue());

    buildMenu();
    m_statusItem = std::make_unique<StatusItem>(m_menu.get());
    m_statusItem->show();
    updateMenu();

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(std::chrono::seconds(refreshInterval));
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { refreshWallpaper(false); });
    m_refreshTimer->start();
    watchSession();

    // The stored credential may sit in the legacy keychain, which can be slow to answer: the
    // menu is up meanwhile, reading "检查激活状态…".
    loadCredential(this, m_context, [this](Result<std::optional<ActivationState>> loaded) {
        credentialLoaded(std::move(loaded));
    });
}

void MenuBarController::credentialLoaded(Result<std::optional<ActivationState>> loaded) {
    if (loaded && *loaded) {
        m_activation = **loaded;
        Result<std::unique_ptr<WallpaperAPIClient>> client =
            clientForCredential(m_context, *m_activation);
        if (client) {
            m_api = std::move(*client);
        } else {
            m_activation.reset();
            log(u"读取激活凭证失败："_s + client.error().description());
        }
    } else if (!loaded) {
        log(u"读取激活凭证失败："_s + loaded.error().description());
    }
    updateMenu();
    QTimer::singleShot(0, this, &MenuBarController::startupFlow);
}

void MenuBarController::startupFlow() {
    if (m_initialHandoffTicket)
        return beginInviteActivation(*m_initialHandoffTicket);
    if (!m_activation)
        return beginAutomaticRegistration(false);
    promptForStartupIfNeeded([this](bool shown) {
        if (shown)
            return refreshWallpaper(false);
        showInfo(u"Velmora壁纸已启动"_s,
                 currentPlatformWords().whereTheIconIs.toString() +
                     u"\n\n你可以从菜单栏刷新、保存壁纸或切换显示方式。"_s,
                 [this] { refreshWallpaper(false); });
    });
}

// Another instance holds the lock: a ticket goes to it (the way a link opened in the browser
// arrives), anything else brings its windows forward and is refused here.
void MenuBarController::refuseSecondInstance() {
    InstanceRequest request;
    if (m_initialHandoffTicket)
        request = {InstanceRequest::Kind::OpenTicket, *m_initialHandoffTicket};
    const ClientPaths paths = m_context.paths;
    runInBackground<bool>(
        this, [paths, request] { return sendToRunningInstance(paths, request); },
        [this, request](bool delivered) {
            if (delivered && request.kind == InstanceRequest::Kind::OpenTicket)
                return emit terminateRequested(0);
            m_presenter.showAlert(
                {Alert::Style::Informational,
                 u"客户端已经在运行"_s,
                 u"已有一个Velmora壁纸实例在运行。它是菜单栏应用，请点击"_s +
                     currentPlatformWords().iconPlace.toString() +
                     u"的Velmora图标；如需使用刚安装的版本，请先从菜单栏退出旧实例，"
                     "再重新打开。"_s,
                 {u"知道了"_s},
                 {}},
                [this](const AlertAnswer &) { emit terminateRequested(0); });
        });
}

void MenuBarController::listenForOtherLaunches() {
    m_instanceServer = new InstanceServer(m_context.paths, this);
    if (Status listening = m_instanceServer->listen([this](const QString &line) { log(line); });
        !listening) {
        log(u"无法接收其他启动的请求："_s + listening.error().description());
        return;
    }
    connect(m_instanceServer, &InstanceServer::raiseRequested, this, [this] {
        m_presenter.raiseWindows();
        if (m_statusItem)
            m_statusItem->raise();
    });
    connect(m_instanceServer, &InstanceServer::ticketReceived, this,
            [this](const QString &ticket) { beginInviteActivation(ticket); });
}

void MenuBarController::buildMenu() {
    m_menu = std::make_unique<QMenu>();
    m_menu->setToolTipsVisible(true);
    const auto item = [this](QMenu *menu, const QString &title, void (MenuBarController::*slot)()) {
        QAction *action = menu->addAction(title);
        if (slot)
            connect(action, &QAction::triggered, this, slot);
        return action;
    };
    const auto checkItem = [&item](QMenu *menu, const QString &title,
                                   void (MenuBarController::*slot)()) {
        QAction *action = item(menu, title, slot);
        action->setCheckable(true);
        return action;
    };
    const auto submenu = [this](QMenu *parent, const QString &title) {
        QMenu *menu = parent->addMenu(title);
        menu->setToolTipsVisible(true);
        return menu;
    };

    m_statusLine = item(m_menu.get(), u"检查激活状态…"_s, nullptr);
    m_statusLine->setEnabled(false);
    m_menu->addSeparator();
    m_refreshItem = item(m_menu.get(), u"刷新今日壁纸"_s, &MenuBarController::refreshAction);
    m_refreshItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_saveTodayItem =
        item(m_menu.get(), u"一键保存今日壁纸"_s, &MenuBarController::saveTodayWallpaperAction);
    m_rewardsItem = item(m_menu.get(), u"获取红包口令"_s, &MenuBarController::rewardsAction);

    QMenu *promotion = submenu(m_menu.get(), u"分享与推广"_s);
    m_promotionGroupItem = promotion->menuAction();
    m_promotionItem =
        item(promotion, u"复制我的推广链接"_s, &MenuBarController::copyPromotionLinkAction);

    QMenu *settings = submenu(m_menu.get(), u"设置"_s);
    m_settingsGroupItem = settings->menuAction();
    QMenu *display = submenu(settings, u"显示方式"_s);
    m_fitDisplayItem = checkItem(display, DisplayMode(DisplayMode::Fit).title(), nullptr);
    m_fillDisplayItem = checkItem(display, DisplayMode(DisplayMode::Fill).title(), nullptr);
    connect(m_fitDisplayItem, &QAction::triggered, this,
            [this] { setDisplayMode(DisplayMode::Fit); });
    connect(m_fillDisplayItem, &QAction::triggered, this,
            [this] { setDisplayMode(DisplayMode::Fill); });
    QMenu *network = submenu(settings, u"网络连接"_s);
    m_followSystemProxyItem =
        checkItem(network, NetworkProxyMode(NetworkProxyMode::System).title(), nullptr);
    m_directConnectionItem =
        checkItem(network, NetworkProxyMode(NetworkProxyMode::Direct).title(), nullptr);
    connect(m_followSystemProxyItem, &QAction::triggered, this,
            [this] { setNetworkProxyMode(NetworkProxyMode::System); });
    connect(m_directConnectionItem, &QAction::triggered, this,
            [this] { setNetworkProxyMode(NetworkProxyMode::Direct); });
    m_startupItem = checkItem(settings, u"开机自动运行"_s, &MenuBarController::toggleStartupAction);
    m_autoUpdateItem =
        checkItem(settings, u"自动更新软件"_s, &MenuBarController::toggleAutoUpdateAction);

    QMenu *help = submenu(m_menu.get(), u"帮助与维护"_s);
    m_registrationItem = item(help, u"重新连接服务"_s, &MenuBarController::registerAction);
    m_updateItem = item(help, u"检查更新"_s, &MenuBarController::checkUpdateAction);
    item(help, u"打开数据目录"_s, &MenuBarController::openDataAction);
    item(help, u"关于Velmora壁纸"_s, &MenuBarController::aboutAction);

    m_menu->addSeparator();
    QAction *quit = item(m_menu.get(), u"退出"_s, &MenuBarController::quitAction);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

bool MenuBarController::isConnected() const {
    return m_activation && m_activation->isUsable();
}

void MenuBarController::updateMenu() {
    if (!m_statusLine)
        return;
    const bool connected = isConnected();
    if (connected) {
        const QString name =
            m_activation->deviceName.isEmpty() ? u"本机"_s : m_activation->deviceName;
        m_statusLine->setText(u"状态：已连接 · "_s + menuText(name));
        m_statusLine->setToolTip(m_activation->serverBaseURL + u"\n网络："_s +
                                 m_context.proxyMode().title());
    } else {
        m_statusLine->setText(m_busy ? u"状态：正在自动连接…"_s : u"状态：暂时未连接"_s);
    }
    const bool connectedIdle = connected && !m_busy;
    for (QAction *action : {m_refreshItem, m_saveTodayItem, m_promotionItem, m_promotionGroupItem,
                            m_updateItem, m_startupItem})
        action->setEnabled(connectedIdle);
    m_promotionItem->setText(connected ? u"复制我的推广链接"_s
                             : m_busy  ? u"复制我的推广链接（正在连接）"_s
                                       : u"复制我的推广链接（需先连接）"_s);
    for (QAction *action :
         {m_registrationItem, m_rewardsItem, m_autoUpdateItem, m_fitDisplayItem, m_fillDisplayItem,
          m_followSystemProxyItem, m_directConnectionItem, m_settingsGroupItem})
        action->setEnabled(!m_busy);

    restoreCheckMarks();
    if (m_statusItem)
        m_statusItem->setBusy(m_busy);
}

void MenuBarController::setBusy(bool busy) {
    m_busy = busy;
    updateMenu();
    // Later, so that whatever ended the operation has finished first (and may start another).
    if (!busy && (m_pending.screens || m_pending.wake || m_pending.network))
        QTimer::singleShot(0, this, &MenuBarController::runPendingTriggers);
}

void MenuBarController::setStatusText(const QString &text) {
    if (m_statusLine)
        m_statusLine->setText(text);
}

void MenuBarController::promptForStartupIfNeeded(std::function<void(bool shown)> then) {
    if (!m_activation || isStartupPromptShown(m_context.paths))
        return then(false);
    // Alerts do not stop the menu: a second enrolment may finish while the question is still
    // open, and the user is asked once.
    if (m_startupPromptOpen)
        return then(true);
    m_startupPromptOpen = true;
    m_presenter.showAlert(
        {Alert::Style::Informational,
         u"首次使用设置"_s,
         u"以下两项默认开启，可取消勾选，也可以稍后从菜单栏“设置”中修改。"_s,
         {u"保存并继续"_s},
         {u"开机自动启动"_s, u"自动更新软件"_s}},
        [this, guard = QPointer<MenuBarController>(this), then](const AlertAnswer &answer) {
            if (!guard)
                return;
            const bool startup = answer.checked.value(0, true);
            AutomaticUpdatePreference::setEnabled(answer.checked.value(1, true),
                                                  m_context.defaults);
            // systemctl may take a moment; the menu stays responsive meanwhile.
            const std::shared_ptr<LoginAgent> agent = m_context.loginAgent;
            runInBackground<Status>(
                this, [agent, startup] { return agent->setEnabled(startup); },
                [this, then](Status changed) {
                    const auto finish = [this, then] {
                        m_startupPromptOpen = false;
                        tryMarkStartupPromptShown(m_context.paths,
                                                  [this](const QString &line) { log(line); });
                        updateMenu();
                        then(true);
                    };
                    if (!changed)
                        return showError(changed.error(), finish);
                    finish();
                });
        });
}

void MenuBarController::registerAction() {
    beginAutomaticRegistration(true);
}

void MenuBarController::quitAction() {
    if (m_refreshTimer)
        m_refreshTimer->stop();
    emit terminateRequested(0);
}

void MenuBarController::log(const QString &message) const {
    appendClientLog(m_context.paths, m_context.now(), message);
}

void MenuBarController::showError(const Error &error, std::function<void()> then) {
    m_presenter.showAlert(
        {Alert::Style::Warning, u"操作失败"_s, error.description(), {u"确定"_s}, {}},
        [then = guarded(std::move(then))](const AlertAnswer &) { then(); });
}

void MenuBarController::showInfo(const QString &title, const QString &text,
                                 std::function<void()> then) {
    m_presenter.showAlert({Alert::Style::Informational, title, text, {u"确定"_s}, {}},
                          [then = guarded(std::move(then))](const AlertAnswer &) { then(); });
}

} // namespace velmora
