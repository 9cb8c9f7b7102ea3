#pragma once

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace velmora::platform {

// One monitor, as the display system reports it. Desktop-wide backends that cannot reach a
// display report a single screen named after the desktop, with an empty geometry.
struct Screen {
    QString name;
    QRect geometry;
};

struct DesktopImageOptions {
    int imageScaling = 3;       // proportional, up or down (0 counts as 3; 1 stretch; 2 none)
    bool allowClipping = false; // true = fill (crop), false = fit (bands)
    double fillRed = 0.055, fillGreen = 0.12, fillBlue = 0.16; // band colour, #0e1f29
};

// Where the desktop picture goes: the desktop of the user's session, whichever program draws it.
class Desktop {
public:
    virtual ~Desktop() = default;

    virtual QString backendName() const = 0; // "gnome", "cinnamon", "mate", "kde", "xfce", …
    // In the order the system lists them; empty when there is no display to talk to.
    virtual std::vector<Screen> screens() const = 0;
    // The name of the session's desktop when it is one whose picture this program cannot set
    // (it draws its own background, or it is a Wayland compositor without a way in), so the
    // user is told that rather than that no display is there. Empty for every real backend.
    virtual QString unsupportedDesktopName() const { return {}; }
    // Sets the picture of one screen; on failure returns false and a description in Chinese.
    // Setting the same picture again changes nothing further.
    virtual bool setDesktopImage(const QString &file, const Screen &screen,
                                 const DesktopImageOptions &options, QString *error) = 0;
    // Whether a screen plugged in, removed or resized needs the picture set again. A desktop
    // whose picture is one setting for every monitor lays new screens out itself; one that is
    // painted per monitor (a root pixmap, a property group per monitor) does not.
    virtual bool followsScreenChanges() const { return false; }
};

// The backend for this session, picked at run time. Never null: with nothing to talk to it
// returns a Desktop whose screens() is empty.
std::unique_ptr<Desktop> systemDesktop();

// --- Choosing the backend ------------------------------------------------------------------

// Unsupported: a desktop that draws its own background (or a Wayland session) with no backend
// that can reach it; painting the X11 root there would be invisible.
enum class DesktopBackendKind {
    None,
    Gnome,
    Cinnamon,
    Mate,
    Plasma,
    Xfce,
    Lxqt,
    Lxde,
    Sway,
    X11,
    Unsupported
};

// What the session's environment says about the desktop it runs.
struct DesktopSession {
    QString currentDesktop; // $XDG_CURRENT_DESKTOP, e.g. "ubuntu:GNOME"
    QString desktopSession; // $DESKTOP_SESSION, e.g. "plasma"
    QString display;        // $DISPLAY
    QString sessionType;    // $XDG_SESSION_TYPE: "x11", "wayland", "tty"
    QString waylandDisplay; // $WAYLAND_DISPLAY
};

// A Wayland session: whatever X server is around (XWayland) is not what the user looks at.
bool isWaylandSession(const DesktopSession &session);

// The desktop families the environment names, in its order: every ":"-separated entry of
// XDG_CURRENT_DESKTOP that is recognised, or, when none is, the one DESKTOP_SESSION names.
// Plain X11 is not among them.
std::vector<DesktopBackendKind> namedDesktopFamilies(const DesktopSession &session);

// The first named family whose settings service or tool is available; on a Wayland session
// that names none, sway's IPC when its socket is there (other compositors speak it too);
// else Unsupported for a Wayland session or a named desktop; else plain X11 when a display is
// set (a bare window manager); else None. `available` is asked only about the named families
// and, on Wayland, Sway.
DesktopBackendKind selectDesktopBackend(const DesktopSession &session,
                                        const std::function<bool(DesktopBackendKind)> &available);

// How the user would call the session's desktop: XDG_CURRENT_DESKTOP as it is, else the
// session DESKTOP_SESSION names, else "Wayland". Raw outside text: clean it before showing.
QString sessionDesktopName(const DesktopSession &session);

// --- Shared by the backends -----------------------------------------------------------------

// How the picture is laid into a screen, from the options.
enum class DesktopPlacement { Fit, Fill, Stretch, Centre };
DesktopPlacement desktopPlacement(const DesktopImageOptions &options);

// The band colour as "#rrggbb", each channel rounded from its 0…1 value × 255.
QString desktopFillColourName(const DesktopImageOptions &options);

} // namespace velmora::platform
