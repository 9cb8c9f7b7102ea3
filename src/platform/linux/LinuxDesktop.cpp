#include "LinuxDesktop.h"

#include "GSettingsDesktop.h"
#include "PcmanfmDesktop.h"
#include "PlasmaDesktop.h"
#include "SwayDesktop.h"
#include "X11Desktop.h"
#include "XfceDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

// A session with no desktop this program can reach: a text console, a Wayland compositor it
// has no way to talk to, a service without a display.
class NoDesktop : public Desktop {
public:
    QString backendName() const override { return u"none"_s; }
    std::vector<Screen> screens() const override { return {}; }
    bool setDesktopImage(const QString &, const Screen &, const DesktopImageOptions &,
                         QString *error) override {
        if (error)
            *error = u"没有找到可以设置壁纸的桌面。"_s;
        return false;
    }
};

// A desktop that draws its own background, or a Wayland compositor, that nothing here can
// reach: the user is told so instead of having a hidden root window painted.
class UnsupportedDesktop : public Desktop {
public:
    explicit UnsupportedDesktop(QString name)
        : m_name(std::move(name)) {}
    QString backendName() const override { return u"unsupported"_s; }
    std::vector<Screen> screens() const override { return {}; }
    QString unsupportedDesktopName() const override { return m_name; }
    bool setDesktopImage(const QString &, const Screen &, const DesktopImageOptions &,
                         QString *error) override {
        if (error)
            *error = u"没有找到可以设置壁纸的桌面。"_s;
        return false;
    }

private:
    QString m_name;
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
    const QDBusMessage answer = bus.call(
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"ListActivatableNames"_s),
        QDBus::Block, 5000);
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
           answer.arguments().constFirst().toStringList().contains(service);
}

bool available(DesktopBackendKind kind) {
    switch (kind) {
    case DesktopBackendKind::Gnome:
        return GSettingsDesktop::available(GSettingsBackground::gnome);
    case DesktopBackendKind::Cinnamon:
        return GSettingsDesktop::available(GSettingsBackground::cinnamon);
    case DesktopBackendKind::Mate:
        return GSettingsDesktop::available(GSettingsBackground::mate);
    case DesktopBackendKind::Plasma:
        return onSessionBus(QLatin1String(PlasmaDesktop::kService), false);
    case DesktopBackendKind::Xfce:
        return onSessionBus(QLatin1String(XfceDesktop::kService), true);
    case DesktopBackendKind::Lxqt:
        return PcmanfmDesktop::available(PcmanfmProgram::lxqt);
    case DesktopBackendKind::Lxde:
        return PcmanfmDesktop::available(PcmanfmProgram::lxde);
    case DesktopBackendKind::Sway:
        return SwayDesktop::available();
    case DesktopBackendKind::X11:
    case DesktopBackendKind::Unsupported:
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
    const DesktopSession session{
        qEnvironmentVariable("XDG_CURRENT_DESKTOP"), qEnvironmentVariable("DESKTOP_SESSION"),
        qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("XDG_SESSION_TYPE"),
        qEnvironmentVariable("WAYLAND_DISPLAY")};
    switch (selectDesktopBackend(session, available)) {
    case DesktopBackendKind::Gnome:
        return std::make_unique<GSettingsDesktop>(GSettingsBackground::gnome);
    case DesktopBackendKind::Cinnamon:
        return std::make_unique<GSettingsDesktop>(GSettingsBackground::cinnamon);
    case DesktopBackendKind::Mate:
        return std::make_unique<GSettingsDesktop>(GSettingsBackground::mate);
    case DesktopBackendKind::Lxqt:
        return std::make_unique<PcmanfmDesktop>(PcmanfmProgram::lxqt);
    case DesktopBackendKind::Lxde:
        return std::make_unique<PcmanfmDesktop>(PcmanfmProgram::lxde);
    case DesktopBackendKind::Unsupported:
        return std::make_unique<UnsupportedDesktop>(sessionDesktopName(session));
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
