#pragma once

#include "platform/Desktop.h"

namespace velmora::platform {

// Where one desktop keeps its background in GSettings. The three schemas share the enum of
// picture options and the colour keys; they differ in the schema, in how the picture is named
// and in the switches around it.
struct GSettingsBackground {
    const char *backendName; // as Desktop::backendName()
    const char *desktopName; // as the user knows it, in messages
    const char *schema;
    const char *pictureKey;
    bool pictureIsUri;          // a file:// URI, else a plain path
    const char *darkPictureKey; // the picture for the dark style, where the schema has it
    const char *drawKey;        // a switch that must be on for any picture to show, or null

    static const GSettingsBackground gnome;    // GNOME, Unity, Budgie, Pantheon
    static const GSettingsBackground cinnamon; // Cinnamon (muffin and nemo read their own)
    static const GSettingsBackground mate;     // MATE (caja draws the desktop)
};

// A desktop whose background is a GSettings schema, written through GIO, so through dconf in
// a real session. One picture for every monitor.
class GSettingsDesktop : public Desktop {
public:
    explicit GSettingsDesktop(const GSettingsBackground &background)
        : m_background(background) {}

    // Whether the schema is installed.
    static bool available(const GSettingsBackground &background);

    QString backendName() const override { return QLatin1String(m_background.backendName); }
    std::vector<Screen> screens() const override;
    // Sets the picture (both pictures, where there is a dark one), picture-options,
    // primary-color, color-shading-type and the draw switch in one change, then reads them
    // back: GSettings reports no error when its backend cannot store anything.
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

    // The picture-options value for a placement (the same nicks in every schema here).
    static QString pictureOption(DesktopPlacement placement);

private:
    const GSettingsBackground &m_background;
};

} // namespace velmora::platform
