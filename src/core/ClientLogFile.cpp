#include "ClientLogFile.h"

#include "PrivateFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

void appendClientLog(const ClientPaths &paths, const QDateTime &now, const QString &message) {
    if (!paths.ensure())
        return;
    const QByteArray line =
        (u'[' + now.toUTC().toString(Qt::ISODate) + u"] "_s + message + u'\n').toUtf8();
    const QByteArray path = paths.clientLog().toLocal8Bit();
    const int fd =
        ::open(path.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            (void)PrivateFile::writeAtomically(paths.clientLog(), line);
        return;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        (void)PrivateFile::writeAll(fd, line.constData(), line.size());
        (void)::fchmod(fd, 0600);
    }
    ::close(fd);
}

} // namespace velmora
