#pragma once

#include "platform/Desktop.h"

#include <QDBusConnection>

namespace velmora::platform {

// KDE Plasma: plasmashell's scripting interface on the session bus, which applies a wallpaper
// to each of its desktop containments and saves it in the user's Plasma configuration.
class PlasmaDesktop : public Desktop {
public:
    static constexpr const char *kService = "org.kde.plasmashell";

    explicit PlasmaDesktop(QDBusConnection bus = QDBusConnection::sessionBus());

    QString backendName() const override { return QStringLiteral("kde"); }
    std::vector<Screen> screens() const override;
    // Every containment gets the picture: Plasma's own screen numbering does not map reliably
    // onto the X monitors, and the client sets the same picture on all of them anyway.
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

    // The script sent to plasmashell.
    static QString wallpaperScript(const QString &file, const DesktopImageOptions &options);

private:
    QDBusConnection m_bus;
};

// `text` as a double-quoted JavaScript string literal. Everything but printable ASCII other
// than quotes and backslash is written as \uXXXX, so no path can end the literal or the line.
QString javaScriptStringLiteral(const QString &text);

} // namespace velmora::platform
