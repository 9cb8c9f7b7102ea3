#include "Desktop.h"

#include <QColor>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

// XDG_CURRENT_DESKTOP entries are registered names ("X-" marks a vendor's own one, as in
// X-Cinnamon); DESKTOP_SESSION values are session file names, often with a variant suffix
// ("gnome-xorg", "plasmawayland", "cinnamon2d"), so those are matched by their start.
// Budgie, Pantheon (gala) and Unity draw their background from GNOME's own settings.
struct FamilyName {
    const char *name;
    DesktopBackendKind family;
    bool sessionOnly; // a session file name, never an XDG_CURRENT_DESKTOP entry
};
constexpr FamilyName kFamilyNames[] = {
    {"gnome", DesktopBackendKind::Gnome, false},
    {"ubuntu", DesktopBackendKind::Gnome, true},
    {"unity", DesktopBackendKind::Gnome, false},
    {"budgie", DesktopBackendKind::Gnome, false},
    {"pantheon", DesktopBackendKind::Gnome, false},
    {"cinnamon", DesktopBackendKind::Cinnamon, false},
    {"mate", DesktopBackendKind::Mate, false},
    {"kde", DesktopBackendKind::Plasma, false},
    {"plasma", DesktopBackendKind::Plasma, true},
    {"xfce", DesktopBackendKind::Xfce, false},
    {"xubuntu", DesktopBackendKind::Xfce, true},
    {"lxqt", DesktopBackendKind::Lxqt, false},
    {"lxde", DesktopBackendKind::Lxde, false},
    {"sway", DesktopBackendKind::Sway, false},
};

DesktopBackendKind familyOfDesktopName(QString name) {
    name = name.trimmed().toLower();
    if (name.startsWith(u"x-"))
        name = name.mid(2);
    for (const FamilyName &known : kFamilyNames)
        if (!known.sessionOnly && name == QLatin1String(known.name))
            return known.family;
    return DesktopBackendKind::None;
}

DesktopBackendKind familyOfSessionName(QString name) {
    name = name.trimmed().toLower();
    name = name.mid(name.lastIndexOf(u'/') + 1); // some display managers give the session's path
    for (const FamilyName &known : kFamilyNames)
        if (name.startsWith(QLatin1String(known.name)))
            return known.family;
    return DesktopBackendKind::None;
}

} // namespace

bool isWaylandSession(const DesktopSession &session) {
    return session.sessionType.trimmed().compare(u"wayland", Qt::CaseInsensitive) == 0 ||
           !session.waylandDisplay.trimmed().isEmpty();
}

std::vector<DesktopBackendKind> namedDesktopFamilies(const DesktopSession &session) {
    std::vector<DesktopBackendKind> families;
    for (const QString &entry : session.currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        const DesktopBackendKind family = familyOfDesktopName(entry);
        if (family != DesktopBackendKind::None &&
            std::find(families.begin(), families.end(), family) == families.end())
            families.push_back(family);
    }
    if (families.empty()) {
        const DesktopBackendKind family = familyOfSessionName(session.desktopSession);
        if (family != DesktopBackendKind::None)
            families.push_back(family);
    }
    return families;
}

DesktopBackendKind selectDesktopBackend(const DesktopSession &session,
                                        const std::function<bool(DesktopBackendKind)> &available) {
    const std::vector<DesktopBackendKind> named = namedDesktopFamilies(session);
    for (DesktopBackendKind family : named)
        if (available(family))
            return family;
    const bool wayland = isWaylandSession(session);
    // sway sets SWAYSOCK for its children but does not always name itself, and other wlroots
    // compositors answer on the same IPC.
    if (wayland && named.empty() && available(DesktopBackendKind::Sway))
        return DesktopBackendKind::Sway;
    // Every desktop recognised here draws its own background window over the root, and under
    // Wayland the X server's root (XWayland's) is shown nowhere: painting it would report a
    // picture nobody sees.
    if (wayland || !named.empty())
        return DesktopBackendKind::Unsupported;
    // A bare window manager shows the root window itself.
    if (!session.display.trimmed().isEmpty())
        return DesktopBackendKind::X11;
    return DesktopBackendKind::None;
}

QString sessionDesktopName(const DesktopSession &session) {
    if (!session.currentDesktop.trimmed().isEmpty())
        return session.currentDesktop.trimmed();
    const QString sessionName = session.desktopSession.trimmed();
    if (!sessionName.isEmpty())
        return sessionName.mid(sessionName.lastIndexOf(u'/') + 1);
    return u"Wayland"_s;
}

DesktopPlacement desktopPlacement(const DesktopImageOptions &options) {
    switch (options.imageScaling) {
    case 1:
        return DesktopPlacement::Stretch;
    case 2:
        return DesktopPlacement::Centre;
    default:
        // No desktop here scales only downwards, so "proportionally down" is taken as the
        // proportional scaling every one of them has.
        return options.allowClipping ? DesktopPlacement::Fill : DesktopPlacement::Fit;
    }
}

QString desktopFillColourName(const DesktopImageOptions &options) {
    const auto channel = [](double value) {
        return int(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
    };
    return QColor(channel(options.fillRed), channel(options.fillGreen), channel(options.fillBlue))
        .name(QColor::HexRgb);
}

} // namespace velmora::platform
