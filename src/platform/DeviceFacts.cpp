#include "DeviceFacts.h"

#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace velmora::platform {

QString currentLoginName() {
    // The reentrant form: enrolment may run beside other threads that use the database.
    passwd entry{};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    for (const char *variable : {"USER", "LOGNAME"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

} // namespace velmora::platform
