// The settings submenu, the data directory and the About box.
#include "MenuBarController.h"

#include "RewardWindowController.h"
#include "Workspace.h"
#include "agent/LoginAgent.h"
#include "core/ClientConstants.h"
#include "core/Preferences.h"
#include "net/WallpaperAPIClient.h"
#include "usecases/Background.h"
#include "usecases/EnsureCredential.h"

#include <QAction>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace velmora {

// Qt flips a checkable item's mark when it is clicked; the marks show the stored state only,
// so a change that fails leaves the old mark.
void MenuBarController::restoreCheckMarks() {
    m_startupItem->setChecked(m_context.loginAgent->isEnabled());
    m_autoUpdateItem->setChecked(AutomaticUpdatePreference::isEnabled(m_context.defaults));
    const DisplayMode display = m_context.displayMode();
    m_fitDisplayItem->setChecked(display == DisplayMode::Fit);
    m_fillDisplayItem->setChecked(display == DisplayMode::Fill);
    const NetworkProxyMode proxy = m_context.proxyMode();
    m_followSystemProxyItem->setChecked(proxy == NetworkProxyMode::System);
    m_directConnectionItem->setChecked(proxy == NetworkProxyMode::Direct);
}

void MenuBarController::toggleStartupAction() {
    restoreCheckMarks();
    if (m_changingStartup)
        return;
    m_changingStartup = true;
    const std::shared_ptr<LoginAgent> agent = m_context.loginAgent;
    const bool enable = !agent->isEnabled();
    // systemctl may take a moment: the menu stays responsive meanwhile.
    runInBackground<Status>(
        this, [agent, enable] { return agent->setEnabled(enable); },
        [this, agent](Status changed) {
            m_changingStartup = false;
            if (!changed)
                return showError(changed.error());
            updateMenu();
            showInfo(u"开机刷新设置"_s, agent->isEnabled() ? u"已启用，每小时自动刷新今日壁纸。"_s
                                                           : u"已关闭开机自动刷新。"_s);
        });
}

void MenuBarController::toggleAutoUpdateAction() {
    const bool enable = !AutomaticUpdatePreference::isEnabled(m_context.defaults);
    AutomaticUpdatePreference::setEnabled(enable, m_context.defaults);
    updateMenu();
    showInfo(u"自动更新设置"_s, enable ? u"已开启。发现新版本后会自动下载、校验并打开安装包。"_s
                                       : u"已关闭。你仍可从“帮助与维护”手动检查更新。"_s);
}

void MenuBarController::setDisplayMode(DisplayMode mode) {
    mode.save(m_context.defaults);
    updateMenu();
    if (isConnected())
        refreshWallpaper(true);
}

void MenuBarController::setNetworkProxyMode(NetworkProxyMode mode) {
    if (m_busy)
        return restoreCheckMarks();
    if (mode == m_context.proxyMode())
        return updateMenu();
    // The new client comes first: a mode no client can be built with is not stored.
    std::unique_ptr<WallpaperAPIClient> client;
    if (m_activation) {
        Result<std::unique_ptr<WallpaperAPIClient>> made =
            WallpaperAPIClient::create(m_activation->serverBaseURL, *m_activation, mode);
        if (!made) {
            restoreCheckMarks();
            return showError(made.error());
        }
        client = std::move(*made);
    }
    mode.save(m_context.defaults);
    m_api = std::move(client);
    updateMenu();
    log(u"切换网络连接 proxy="_s + mode.rawValue());
    showInfo(u"网络连接已切换"_s, mode.confirmationMessage());
}

void MenuBarController::rewardsAction() {
    if (m_busy)
        return;
    if (!m_api || !isConnected())
        return beginAutomaticRegistration(false, guarded([this] { rewardsAction(); }));
    m_api->useActivation(*m_activation);
    // A visible window is brought forward as it is; a closed one is replaced and loads again.
    if (!m_rewardsWindow || !m_rewardsWindow->isVisible())
        m_rewardsWindow = std::make_unique<RewardWindowController>(
            [this]() -> WallpaperAPIClient * { return m_api.get(); }, m_workspace);
    m_rewardsWindow->showAndLoad();
}

void MenuBarController::openDataAction() {
    (void)m_context.paths.ensure();
    m_workspace.openUrl(QUrl::fromLocalFile(m_context.paths.root()));
}

void MenuBarController::aboutAction() {
    showInfo(u"Velmora壁纸"_s, u"Linux 菜单栏客户端\n版本 "_s + ClientConstants::currentVersion +
                                   u"\n\n每日从 "_s + QUrl(ClientConstants::officialServer).host() +
                                   u" 获取并设置壁纸。"_s);
}

} // namespace velmora
