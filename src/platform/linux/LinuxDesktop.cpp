#include "LinuxDesktop.h"

#include "GnomeDesktop.h"
#include "PlasmaDesktop.h"
#include "SwayDesktop.h"
#include "X11Desktop.h"
#include "XfceDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace velmora::platform {

namespace {

// A session with no desktop this program can reach: a text console, a Wayland compositor it
// has no way to talk to, a service without a display.
class NoDesktop : public Desktop {
public:
    QString backendName() const override { return QStringLiteral("none"); }
    std::vector<Screen> screens() const override { return {}; }
    bool setDesktopImage(const QString &, const Screen &, const DesktopImageOptions &,
                         QString *error) override {
        if (error)
            *error = QStringLiteral("没有找到可以设置壁纸的桌面。");
        return false;
    }
};

// Registered now, or startable by the bus on first call (xfconfd is, in every Xfce session).
bool onSessionBus(const QString &service, bool orActivatable) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (bus.interface()->isServiceRegistered(service))
        return true;
    if (!orActivatable)
        return false;
    const QDBusMessage answer =
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("ListActivatableNames")),
                 QDBus::Block, 5000);
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
           answer.arguments().constFirst().toStringList().contains(service);
}

bool available(DesktopBackendKind kind) {
    switch (kind) {
    case DesktopBackendKind::Gnome:
        return GnomeDesktop::available();
    case DesktopBackendKind::Plasma:
        return onSessionBus(QLatin1String(PlasmaDesktop::kService), false);
    case DesktopBackendKind::Xfce:
        return onSessionBus(QLatin1String(XfceDesktop::kService), true);
    case DesktopBackendKind::Sway:
        return SwayDesktop::available();
    case DesktopBackendKind::X11:
    case DesktopBackendKind::None:
        break;
    }
    return false;
}

} // namespace

std::vector<Screen> desktopWideScreens(const QString &desktopName) {
    // GNOME starts Xwayland on demand: counting monitors is not worth starting an X server.
    std::vector<Screen> monitors;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        monitors = x11Monitors();
    if (monitors.empty())
        monitors.push_back({desktopName, QRect()});
    return monitors;
}

std::unique_ptr<Desktop> systemDesktop() {
    const DesktopSession session{qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                                 qEnvironmentVariable("DESKTOP_SESSION"),
                                 qEnvironmentVariable("DISPLAY")};
    DesktopBackendKind kind = selectDesktopBackend(session, available);
    // A sway session's X display is XWayland's, whose root nobody sees.
    if ((kind == DesktopBackendKind::X11 || kind == DesktopBackendKind::None) &&
        SwayDesktop::available())
        kind = DesktopBackendKind::Sway;
    switch (kind) {
    case DesktopBackendKind::Gnome:
        return std::make_unique<GnomeDesktop>();
    case DesktopBackendKind::Plasma:
        return std::make_unique<PlasmaDesktop>();
    case DesktopBackendKind::Xfce:
        return std::make_unique<XfceDesktop>();
    case DesktopBackendKind::Sway:
        return std::make_unique<SwayDesktop>();
    case DesktopBackendKind::X11:
        return std::make_unique<X11Desktop>();
    case DesktopBackendKind::None:
        break;
    }
    return std::make_unique<NoDesktop>();
}

} // namespace velmora::platform
