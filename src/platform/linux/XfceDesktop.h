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
    // Writes every group of the screen's monitor, on every workspace; when no group names that
    // monitor, every group there is; when there are none at all, a first one for the monitor.
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

    // The property groups ("…/workspace<N>") of the "last-image" properties among `properties`
    // that setting `screenName` touches, by the rule above.
    static QStringList groupsToSet(const QStringList &properties, const QString &screenName);

private:
    QDBusConnection m_bus;
};

} // namespace velmora::platform
