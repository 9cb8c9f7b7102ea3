#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace velmora::platform {

// What the machine and the session say about themselves, for the device identity.
class DeviceFacts {
public:
    virtual ~DeviceFacts() = default;

    // A stable identifier of the machine (macOS: IOPlatformUUID; Linux: the machine id), or
    // none when it cannot be read.
    virtual std::optional<QString> platformUUID() const = 0;
    // The name the user gave the computer; empty when there is none.
    virtual QString computerName() const = 0;
    // The network host name as the system reports it.
    virtual QString hostName() const = 0;
    // The login name of the user running the process.
    virtual QString loginName() const = 0;
};

// The implementation for the platform this program is built for.
std::shared_ptr<const DeviceFacts> systemDeviceFacts();

// The login name of the user running the process: the password database's entry for the real
// user id, else $USER, else $LOGNAME, else empty.
QString currentLoginName();

} // namespace velmora::platform
