#include "Desktop.h"

#include <QColor>

#include <algorithm>
#include <cmath>

namespace velmora::platform {

namespace {

// XDG_CURRENT_DESKTOP entries are registered names ("X-" marks a vendor's own one, as in
// X-Cinnamon); DESKTOP_SESSION values are session file names, often with a variant suffix
// ("gnome-xorg", "plasmawayland", "ubuntu-wayland"), so those are matched by their start.
DesktopBackendKind familyOfDesktopName(QString name) {
    name = name.trimmed().toLower();
    if (name.startsWith(u"x-"))
        name = name.mid(2);
    for (const char *gnome : {"gnome", "unity", "cinnamon", "budgie", "pantheon"})
        if (name == QLatin1String(gnome))
            return DesktopBackendKind::Gnome;
    if (name == u"kde")
        return DesktopBackendKind::Plasma;
    if (name == u"xfce")
        return DesktopBackendKind::Xfce;
    return DesktopBackendKind::None;
}

DesktopBackendKind familyOfSessionName(QString name) {
    name = name.trimmed().toLower();
    name = name.mid(name.lastIndexOf(u'/') + 1); // some display managers give the session's path
    for (const char *gnome : {"gnome", "ubuntu", "unity", "cinnamon", "budgie", "pantheon"})
        if (name.startsWith(QLatin1String(gnome)))
            return DesktopBackendKind::Gnome;
    if (name.startsWith(u"plasma") || name.startsWith(u"kde"))
        return DesktopBackendKind::Plasma;
    if (name.startsWith(u"xfce") || name.startsWith(u"xubuntu"))
        return DesktopBackendKind::Xfce;
    return DesktopBackendKind::None;
}

} // namespace

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
    for (DesktopBackendKind family : namedDesktopFamilies(session))
        if (available(family))
            return family;
    // A desktop whose settings cannot be reached still usually draws over the root window, but
    // painting the root is the best that is left; bare window managers need exactly that.
    if (!session.display.trimmed().isEmpty())
        return DesktopBackendKind::X11;
    return DesktopBackendKind::None;
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
