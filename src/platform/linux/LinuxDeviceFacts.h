#pragma once

#include "platform/DeviceFacts.h"

#include <QString>
#include <QStringList>

namespace velmora::platform {

// Linux: the machine id (systemd's /etc/machine-id, or D-Bus's copy) and the "pretty" host name
// that desktop settings let the user choose (PRETTY_HOSTNAME in /etc/machine-info). The file
// locations are parameters so that tests can supply their own.
class LinuxDeviceFacts : public DeviceFacts {
public:
    explicit LinuxDeviceFacts(
        QStringList machineIdFiles = {QStringLiteral("/etc/machine-id"),
                                      QStringLiteral("/var/lib/dbus/machine-id")},
        QString machineInfoFile = QStringLiteral("/etc/machine-info"));

    std::optional<QString> platformUUID() const override;
    QString computerName() const override;
    QString hostName() const override;
    QString loginName() const override;

    // PRETTY_HOSTNAME from the text of a machine-info file (an environment-style file whose
    // values may be quoted); empty when absent.
    static QString prettyHostNameFromMachineInfo(const QByteArray &content);

private:
    QStringList m_machineIdFiles;
    QString m_machineInfoFile;
};

} // namespace velmora::platform
