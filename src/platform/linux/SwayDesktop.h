#pragma once

#include "platform/Desktop.h"

#include <QByteArray>
#include <QString>

namespace velmora::platform {

// sway and the compositors that speak its IPC: the picture of every output is one `output * bg`
// command sent over the socket $SWAYSOCK names. sway lays its outputs out itself and draws the
// picture on each (through swaybg), so there is one desktop-wide screen.
class SwayDesktop : public Desktop {
public:
    // `socket` as in $SWAYSOCK; empty means $SWAYSOCK itself.
    explicit SwayDesktop(QString socket = {});

    // Whether $SWAYSOCK names a socket.
    static bool available();

    QString backendName() const override { return QStringLiteral("sway"); }
    std::vector<Screen> screens() const override;
    bool setDesktopImage(const QString &file, const Screen &screen,
                         const DesktopImageOptions &options, QString *error) override;

    // The command that shows `file` on every output; empty when sway's parser cannot be given
    // the name (it holds a control character).
    static QByteArray backgroundCommand(const QString &file, const DesktopImageOptions &options);

private:
    QString m_socket;
};

} // namespace velmora::platform
