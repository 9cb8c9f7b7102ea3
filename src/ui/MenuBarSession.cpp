// Keeping the desktop right between two hourly refreshes: screens plugged in, removed or
// resized get the last verified wallpaper again (no network), waking from sleep refreshes, and
// so does the network coming back after a refresh that could not reach the service.
#include "MenuBarController.h"

#include "SessionWatcher.h"
#include "platform/Desktop.h"
#include "usecases/Background.h"
#include "wallpaper/WallpaperStore.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

struct ScreenReapply {
    enum class Outcome { NotNeeded, NothingVerified, Applied, Failed } outcome;
    QString detail; // the date applied, or why it failed
};

// On a pool thread: making the desktop may ask the session bus what runs, and setting the
// picture decodes and scales it.
ScreenReapply reapplyLastVerified(const ClientPaths &paths,
                                  const WallpaperStore::DesktopFactory &makeDesktop,
                                  DisplayMode mode) {
    std::unique_ptr<platform::Desktop> desktop = makeDesktop ? makeDesktop() : nullptr;
    if (!desktop || !desktop->followsScreenChanges())
        return {ScreenReapply::Outcome::NotNeeded, {}};
    WallpaperStore store(paths, [&desktop] { return std::move(desktop); });
    const std::optional<WallpaperStore::LastVerified> last = store.lastVerifiedWallpaper();
    if (!last)
        return {ScreenReapply::Outcome::NothingVerified, {}};
    if (Status set = store.setDesktopWallpaper(last->path, mode); !set)
        return {ScreenReapply::Outcome::Failed, set.error().description()};
    return {ScreenReapply::Outcome::Applied, last->date};
}

} // namespace

void MenuBarController::watchSession() {
    m_sessionWatcher = new SessionWatcher(this);
    connect(m_sessionWatcher, &SessionWatcher::screensChanged, this,
            &MenuBarController::screensChanged);
    connect(m_sessionWatcher, &SessionWatcher::wokeUp, this, &MenuBarController::wokeUp);
    connect(m_sessionWatcher, &SessionWatcher::networkReturned, this,
            &MenuBarController::networkReturned);
    m_sessionWatcher->start();
}

void MenuBarController::screensChanged() {
    // A refresh in flight would otherwise race this one to the desktop with another picture.
    if (m_busy) {
        m_pending.screens = true;
        return;
    }
    setBusy(true);
    const ClientPaths paths = m_context.paths;
    const WallpaperStore::DesktopFactory desktop = m_context.desktop;
    const DisplayMode mode = m_context.displayMode();
    runInBackground<ScreenReapply>(
        this, [paths, desktop, mode] { return reapplyLastVerified(paths, desktop, mode); },
        [this](ScreenReapply done) {
            switch (done.outcome) {
            case ScreenReapply::Outcome::NotNeeded:
                log(u"显示器变化：桌面自行调整各显示器的壁纸"_s);
                break;
            case ScreenReapply::Outcome::NothingVerified:
                log(u"显示器变化：还没有校验通过的壁纸可以重新设置"_s);
                break;
            case ScreenReapply::Outcome::Applied:
                log(u"显示器变化，已重新设置上次校验通过的壁纸 date="_s + done.detail);
                break;
            case ScreenReapply::Outcome::Failed:
                log(u"显示器变化后重新设置壁纸失败："_s + done.detail);
                break;
            }
            setBusy(false);
        });
}

void MenuBarController::wokeUp() {
    if (m_busy) {
        m_pending.wake = true;
        return;
    }
    const QDateTime now = m_context.now();
    if (m_lastRefreshStarted && *m_lastRefreshStarted <= now &&
        m_lastRefreshStarted->secsTo(now) < wakeRefreshGap) {
        log(u"系统已唤醒：一分钟内刚刷新过壁纸"_s);
        return;
    }
    log(u"系统已唤醒，刷新壁纸"_s);
    // The hour counts from now: the timer did not run while the machine slept.
    m_refreshTimer->start();
    refreshWallpaper(false);
}

void MenuBarController::networkReturned() {
    if (!m_lastRefreshOffline)
        return;
    if (m_busy) {
        m_pending.network = true;
        return;
    }
    log(u"网络已恢复，刷新壁纸"_s);
    refreshWallpaper(false);
}

void MenuBarController::runPendingTriggers() {
    if (m_busy)
        return;
    const PendingTriggers pending = std::exchange(m_pending, {});
    // A refresh that starts keeps the screens pending for when it ends.
    if (pending.wake)
        wokeUp();
    if (pending.network)
        networkReturned();
    if (pending.screens)
        screensChanged();
}

} // namespace velmora
