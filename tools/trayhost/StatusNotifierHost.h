#pragma once

// A desktop panel's side of the tray protocol, for tests that run the real menu-bar application:
// a private session bus, a StatusNotifierWatcher on it, and the calls a panel makes to read the
// registered item's tool tip, icon and menu and to click an entry.
//
// Qt decides once, when the application starts, whether a watcher is there: start the host
// before the application. The application needs a display (xcb; Qt's offscreen platform never
// has a tray) and the host's environment().

#include "tools/trayhost/TrayMenuEntry.h"

#include <QDBusConnection>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>
#include <optional>

namespace velmora::test {

class StatusNotifierWatcher;

struct TrayToolTip {
    QString iconName;
    QList<QImage> icons;
    QString title;
    QString text;
};

class StatusNotifierHost {
public:
    // Starts the bus with `base` (normally the test's own environment, with its private HOME) plus
    // a private XDG_RUNTIME_DIR, and owns org.kde.StatusNotifierWatcher on it. Blocks up to a few
    // seconds; check isRunning() and lastError(). With `anyUser`, processes of other local users
    // may connect too (an application the test runs as another user).
    explicit StatusNotifierHost(
        const QProcessEnvironment &base = QProcessEnvironment::systemEnvironment(),
        bool anyUser = false);
    ~StatusNotifierHost();
    StatusNotifierHost(const StatusNotifierHost &) = delete;
    StatusNotifierHost &operator=(const StatusNotifierHost &) = delete;

    bool isRunning() const { return m_watcher != nullptr; }
    QString address() const { return m_address; }
    // What to start the tray application with: the bus address, and no desktop hints that would
    // make Qt load a desktop's own platform theme.
    QProcessEnvironment environment() const;

    // Turns the event loop until an item has registered; its bus name, or empty on timeout.
    QString waitForItem(int timeoutMs = 10000);
    // Turns the event loop until the item's bus name has gone (the application quit).
    bool waitForItemGone(int timeoutMs = 10000);
    QString itemService() const;

    // The whole menu (GetLayout(0, -1, [])); its root has no label, the top entries are its
    // children.
    std::optional<TrayMenuEntry> readMenu();
    // The entry at a label path in a freshly read menu, e.g. {"设置", "显示方式",
    // "完整显示（推荐）"}.
    std::optional<TrayMenuEntry> findEntry(const QStringList &labelPath);
    // What a panel says before it shows a menu (id 0) or a submenu: Qt emits aboutToShow.
    bool aboutToShow(int id = 0);
    // Triggers the entry, as a click in the panel does. Does not wait for the application to act:
    // an entry that opens a modal window would hold the answer back.
    bool click(int id);

    // A property of org.kde.StatusNotifierItem (Id, Title, Status, Menu, …); structures come back
    // as QDBusArgument, see toolTip() and iconPixmaps().
    QVariant itemProperty(const QString &name);
    std::optional<TrayToolTip> toolTip();
    QList<QImage> iconPixmaps();

    // Why the last call failed.
    QString lastError() const { return m_error; }

private:
    QStringList itemParts() const; // {bus name, object path}
    QString menuPath();
    bool fail(const QString &error);

    QTemporaryDir m_dir;
    QProcessEnvironment m_busEnvironment;
    QProcess m_daemon;
    QString m_address;
    QString m_connectionName;
    std::unique_ptr<QDBusConnection> m_connection;
    std::unique_ptr<StatusNotifierWatcher> m_watcher;
    QString m_error;
};

} // namespace velmora::test
