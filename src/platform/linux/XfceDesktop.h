#pragma once

#include "platform/Desktop.h"

#include <QDBusConnection>
#include <QStringList>

namespace velmora::platform {

// Xfce: xfdesktop's backdrop properties in the xfconf channel "xfce4-desktop", written through
// xfconfd on the session bus (the daemon xfconf-query talks to). xfdesktop keeps one property
// group per monitor and workspace, /backdrop/screen0/monitor<NAME>/workspace<N>/.
class XfceDesktop : public Desktop {
public:
    static constexpr const char *kService = "org.xfce.Xfconf";

    explicit XfceDesktop(QDBusConnection bus = QDBusConnection::sessionBus());

    QString backendName() const override { return QStringLiteral("xfce"); }
    std::vector<Screen> screens() const override;
    bool followsScreenChanges() const override { return true; }
    // Writes every group of the screen's monitor, on every workspace that has a group on any
    // monitor; a monitor without groups of its own yet gets them, and every group there is is
    // written too. The screen of a desktop without a display to name monitors writes every
    // group there is, or a first one.
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

    // The property groups ("…/workspace<N>") that setting `screenName` writes, by the rule
    // above, from the properties now in the channel.
    static QStringList groupsToSet(const QStringList &properties, const QString &screenName);

private:
    QDBusConnection m_bus;
};

} // namespace velmora::platform
