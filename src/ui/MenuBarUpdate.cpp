// Updating the client itself: the check, the decision, the verified package and opening it.
#include "MenuBarController.h"

#include "Workspace.h"
#include "core/ClientConstants.h"
#include "core/ClientError.h"
#include "core/Preferences.h"
#include "net/UpdatePolicy.h"
#include "net/WallpaperAPIClient.h"
#include "usecases/Background.h"
#include "wallpaper/WallpaperStore.h"

#include <QFileInfo>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace velmora {

using UpdatePolicy::platformName;

void MenuBarController::checkUpdateAction() {
    checkForUpdates(true);
}

// After every wallpaper applied while automatic update is on.
void MenuBarController::scheduleAutomaticUpdateCheck() {
    if (!AutomaticUpdatePreference::isEnabled(m_context.defaults))
        return;
    QTimer::singleShot(0, this, [this] {
        if (!m_busy && AutomaticUpdatePreference::isEnabled(m_context.defaults))
            checkForUpdates(false);
    });
}

void MenuBarController::checkForUpdates(bool showNoUpdateMessage) {
    if (m_busy)
        return;
    if (!m_api || !m_activation) {
        if (showNoUpdateMessage)
            showError(ClientError::missingActivation());
        return;
    }
    setBusy(true);
    m_api->useActivation(*m_activation);
    m_api->fetchLatestUpdate(
        whileAlive(this,
                   [this, manual = showNoUpdateMessage](Result<SoftwareUpdate> checked) {
                       setBusy(false);
                       if (!checked)
                           return reportUpdateFailure(checked.error(), manual, u"检查更新失败："_s,
                                                      u"状态：自动更新检查失败 · 稍后重试"_s);
                       if (!checked->isUpdateAvailable) {
                           if (manual)
                               showInfo(u"已是最新版本"_s, u"当前版本 "_s +
                                                               ClientConstants::currentVersion +
                                                               u" 无需更新。"_s);
                           return;
                       }
                       // Nothing is downloaded for a package this platform cannot install or
                       // verify.
                       if (!UpdatePolicy::isAcceptable(*checked)) {
                           if (manual)
                               showInfo(u"暂无 "_s + platformName() + u" 更新"_s,
                                        u"服务器当前发布的更新包不是 "_s + platformName() +
                                            u" 格式，未执行安装。"_s);
                           return;
                       }
                       decideOnUpdate(*checked, manual || !AutomaticUpdatePreference::isEnabled(
                                                              m_context.defaults));
                   }),
        ClientConstants::currentVersion);
}

void MenuBarController::decideOnUpdate(const SoftwareUpdate &update, bool manual) {
    const QString version = UpdatePolicy::displayVersion(update);
    if (!manual) {
        // The same version is never opened twice automatically.
        if (AutomaticUpdatePreference::lastOpenedVersion(m_context.defaults) == version)
            return;
        log(u"开始自动更新 version="_s + version);
        return fetchUpdate(update, false);
    }
    m_presenter.showAlert(
        {Alert::Style::Informational,
         u"发现 "_s + platformName() + u" 新版本 "_s + version,
         UpdatePolicy::displayNotes(update) + u"\n\n下载完成后将打开安装包，请确认其来源和签名。"_s,
         {u"下载并打开"_s, u"稍后"_s},
         {}},
        [this, guard = QPointer<MenuBarController>(this), update](const AlertAnswer &answer) {
            if (guard && answer.button == 0 && !m_busy && m_api)
                fetchUpdate(update, true);
        });
}

void MenuBarController::fetchUpdate(const SoftwareUpdate &update, bool manual) {
    const QString version = UpdatePolicy::displayVersion(update);
    const QString destination =
        m_context.paths.updates() + u'/' + UpdatePolicy::packageFileName(update);
    setBusy(true);
    if (!manual)
        setStatusText(u"状态：正在自动更新到 "_s + version);
    // A package with this digest may be here already; hashing it is file work, off the main
    // thread. Older packages and abandoned downloads go first: only this package is kept.
    const QString digest = *update.sha256;
    runInBackground<bool>(
        this,
        [paths = m_context.paths, destination, digest] {
            WallpaperStore(paths).pruneUpdates(destination);
            return WallpaperStore::isValidCache(destination, digest);
        },
        [this, update, manual, version, destination, digest](bool present) {
            const auto open = [this, manual, version](Result<QString> fetched) {
                openUpdate(std::move(fetched), manual, version);
            };
            if (present || !m_api)
                return present ? open(destination) : open(ClientError::missingActivation());
            m_api->download(*update.downloadURL, digest, destination, whileAlive(this, open),
                            WallpaperAPIClient::maximumUpdateBytes);
        });
}

// Always logged; a manual flow shows the error, an automatic one only says so in the status line.
void MenuBarController::reportUpdateFailure(const Error &error, bool manual,
                                            const QString &logPrefix,
                                            const QString &automaticStatus) {
    log(logPrefix + error.description());
    if (manual)
        return showError(error);
    setStatusText(automaticStatus);
}

void MenuBarController::openUpdate(Result<QString> fetched, bool manual, const QString &version) {
    setBusy(false);
    if (!fetched)
        return reportUpdateFailure(fetched.error(), manual, u"下载更新失败："_s,
                                   u"状态：自动更新失败 · 稍后重试"_s);
    const QString file = *fetched;
    if (!m_workspace.openUrl(QUrl::fromLocalFile(file)))
        return showError(ClientError::fileSystem(u"更新包已下载，但系统未能自动打开："_s + file));
    if (manual)
        return showInfo(u"更新包已下载"_s, u"已打开 "_s + QFileInfo(file).fileName() +
                                               u"。请按 "_s + platformName() +
                                               u" 安装器提示完成更新。"_s);
    AutomaticUpdatePreference::setLastOpenedVersion(version, m_context.defaults);
    setStatusText(u"状态：已打开新版本安装包 "_s + version);
    log(u"自动更新安装包已打开 version="_s + version);
}

void MenuBarController::copyPromotionLinkAction() {
    if (!m_api || !isConnected())
        return showError(ClientError::missingActivation());
    setBusy(true);
    m_api->useActivation(*m_activation);
    m_api->fetchPromotionLink(whileAlive(this, [this](Result<ClientPromotionLinkResponse> fetched) {
        setBusy(false);
        if (!fetched)
            return showError(fetched.error());
        if (Status copied = m_workspace.copyText(fetched->link); !copied)
            return showError(copied.error());
        showInfo(u"推广链接已复制"_s, u"已复制你的专属推广链接，可以直接粘贴分享给朋友。"_s);
    }));
}

} // namespace velmora
