#pragma once

#include "platform/Desktop.h"

namespace velmora::platform {

// GNOME and the desktops that read GNOME's background settings (Unity, Budgie, Pantheon):
// the GSettings schema org.gnome.desktop.background, written through GIO, so through dconf in
// a real session. One picture for every monitor.
class GnomeDesktop : public Desktop {
public:
    // Whether the schema is installed.
    static bool available();

    QString backendName() const override { return QStringLiteral("gnome"); }
    std::vector<Screen> screens() const override;
    // Sets picture-uri and picture-uri-dark (where the schema has it), picture-options,
    // primary-color and color-shading-type in one change, then reads them back: GSettings
    // reports no error when its backend cannot store anything.
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

    // The picture-options value for a placement.
    static QString pictureOption(DesktopPlacement placement);
};

} // namespace velmora::platform
