#pragma once

#include "Presenter.h"
#include "core/ActivationState.h"
#include "core/InstanceLock.h"
#include "core/Preferences.h"
#include "core/Result.h"
#include "net/Messages.h"
#include "usecases/ClientContext.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QTimer;

namespace velmora {

class InstanceServer;
class RewardWindowController;
class SessionWatcher;
class StatusItem;
class WallpaperAPIClient;
class Workspace;
struct RefreshResult;
struct SaveTodayResult;

// The menu-bar application: owns the credential in use, the service client, the tray item and
// its one menu, and runs every action behind it. Everything happens on the main thread; each
// network operation is one busy period during which the menu offers nothing that would start
// another. Modal questions go through the presenter and continue when answered.
class MenuBarController : public QObject {
    Q_OBJECT

public:
    MenuBarController(ClientContext context, std::optional<QString> initialHandoffTicket,
                      Presenter &presenter, Workspace &workspace, QObject *parent = nullptr);
    ~MenuBarController() override;

    // The launch sequence: data directory, single instance, credential, tray and menu, the
    // hourly timer, then the startup flow.
    void applicationDidFinishLaunching();
    // Invite links handed over by the system (or by a second launch).
    void openURLs(const QList<QUrl> &urls);
    void beginInviteActivation(const QString &ticket);
    void beginAutomaticRegistration(bool showSuccess, std::function<void()> afterConnection = {});
    void refreshWallpaper(bool showErrors);
    // Asks the service for a newer client; manual checks report every outcome by alert.
    void checkForUpdates(bool showNoUpdateMessage);

    // Renders the state into the status line, the enabling and the check marks.
    void updateMenu();

    QMenu *menu() const { return m_menu.get(); }
    bool isBusy() const { return m_busy; }
    const std::optional<ActivationState> &activation() const { return m_activation; }
    // The tray item, for the tests and the no-tray window.
    StatusItem *statusItem() const { return m_statusItem.get(); }
    // Screens, sleep and the network, for the tests to report what the session would.
    SessionWatcher *sessionWatcher() const { return m_sessionWatcher; }

    // Every hour after launch.
    static constexpr int refreshInterval = 3600;
    // Waking refreshes unless a refresh started less than this many seconds before.
    static constexpr int wakeRefreshGap = 60;

signals:
    // The application should end (the data directory is unusable, or another instance runs).
    void terminateRequested(int exitCode);

private:
    void buildMenu();
    void refuseSecondInstance();
    void listenForOtherLaunches();
    void credentialLoaded(Result<std::optional<ActivationState>> loaded);
    void startupFlow();
    void promptForStartupIfNeeded(std::function<void(bool shown)> then);

    // Screens, sleep and the network (MenuBarSession.cpp): each trigger that arrives while
    // busy is run once when the operation ends.
    void watchSession();
    void screensChanged();
    void wokeUp();
    void networkReturned();
    void runPendingTriggers();

    void refreshAction();
    void finishRefresh(const RefreshResult &result, bool showErrors);
    void saveTodayWallpaperAction();
    void finishSave(const SaveTodayResult &result);
    void registerAction();
    void quitAction();

    void restoreCheckMarks();
    void toggleStartupAction();
    void toggleAutoUpdateAction();
    void setDisplayMode(DisplayMode mode);
    void setNetworkProxyMode(NetworkProxyMode mode);
    void openDataAction();
    void aboutAction();
    void copyPromotionLinkAction();
    void rewardsAction();

    void checkUpdateAction();
    void scheduleAutomaticUpdateCheck();
    void decideOnUpdate(const SoftwareUpdate &update, bool manual);
    void fetchUpdate(const SoftwareUpdate &update, bool manual);
    void openUpdate(Result<QString> fetched, bool manual, const QString &version);
    void reportUpdateFailure(const Error &error, bool manual, const QString &logPrefix,
                             const QString &automaticStatus);

    bool isConnected() const;
    // Starts a network operation: busy, and the menu follows at once.
    void setBusy(bool busy);
    // The origin a new enrolment talks to: the --server override, the "serverBaseURL" default,
    // $VELMORA_SERVER, then the official origin.
    QString enrolmentServer() const;
    // Makes `credential` the one in use and builds its client; false (after the alert) when
    // the client cannot be made.
    bool useCredential(const ActivationState &credential);
    void setStatusText(const QString &text);

    void log(const QString &message) const;
    void showError(const Error &error, std::function<void()> then = {});
    void showInfo(const QString &title, const QString &text, std::function<void()> then = {});
    // Wraps a continuation so that it does nothing once the controller is gone.
    std::function<void()> guarded(std::function<void()> step);

    ClientContext m_context;
    Presenter &m_presenter;
    Workspace &m_workspace;
    InstanceLock m_instanceLock;
    std::optional<QString> m_initialHandoffTicket;
    std::optional<ActivationState> m_activation;
    std::unique_ptr<WallpaperAPIClient> m_api;
    bool m_busy = false;
    bool m_changingStartup = false;
    bool m_startupPromptOpen = false;
    // When the last refresh started, by the wall clock, which goes on while the machine sleeps.
    std::optional<QDateTime> m_lastRefreshStarted;
    // The last refresh could not reach the service (and showed the last verified wallpaper).
    bool m_lastRefreshOffline = false;
    struct PendingTriggers {
        bool screens = false;
        bool wake = false;
        bool network = false;
    } m_pending;

    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<StatusItem> m_statusItem;
    QAction *m_statusLine = nullptr;
    QAction *m_refreshItem = nullptr;
    QAction *m_saveTodayItem = nullptr;
    QAction *m_rewardsItem = nullptr;
    QAction *m_promotionGroupItem = nullptr;
    QAction *m_promotionItem = nullptr;
    QAction *m_settingsGroupItem = nullptr;
    QAction *m_fitDisplayItem = nullptr;
    QAction *m_fillDisplayItem = nullptr;
    QAction *m_followSystemProxyItem = nullptr;
    QAction *m_directConnectionItem = nullptr;
    QAction *m_startupItem = nullptr;
    QAction *m_autoUpdateItem = nullptr;
    QAction *m_registrationItem = nullptr;
    QAction *m_updateItem = nullptr;
    std::unique_ptr<RewardWindowController> m_rewardsWindow;
    QTimer *m_refreshTimer = nullptr;
    InstanceServer *m_instanceServer = nullptr;
    SessionWatcher *m_sessionWatcher = nullptr;
};

} // namespace velmora
