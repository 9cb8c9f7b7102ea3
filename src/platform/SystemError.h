#pragma once

#include <QString>

namespace velmora::platform {

// The operating system's description of an errno value, in the user's language (Simplified
// Chinese), naming the path it concerns when one is given.
QString describeSystemError(int errnum, const QString &path = {});

} // namespace velmora::platform
