#pragma once

#include "platform/Desktop.h"

#include <QByteArray>

namespace velmora::platform {

// The root window of an X display, as feh and hsetroot paint it: one pixmap the size of the
// root, published through the _XROOTPMAP_ID / ESETROOT_PMAP_ID convention and kept by the
// server after this process has gone. For bare window managers and Xvfb; a desktop that draws
// its own background window hides it.
//
// Setting one screen repaints only that monitor's rectangle and keeps what the others show,
// when the current root pixmap can be copied (same size and depth as the root); otherwise the
// rest of the root is filled with the band colour.
class X11Desktop : public Desktop {
public:
    // `display` as in $DISPLAY; empty means $DISPLAY itself.
    explicit X11Desktop(QByteArray display = {});

    QString backendName() const override { return QStringLiteral("x11"); }
    std::vector<Screen> screens() const override;
    bool followsScreenChanges() const override { return true; }
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

private:
    QByteArray m_display;
};

// The monitors of an X display in the server's order: RandR 1.5 monitors, or the whole root
// (named "screen<N>") when the server has none to list. Empty when the display cannot be
// opened. `display` empty means $DISPLAY.
std::vector<Screen> x11Monitors(const QByteArray &display = {});

} // namespace velmora::platform
