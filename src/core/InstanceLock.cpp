#include "InstanceLock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

bool setWholeFileLock(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0; // to the end of the file, however long it grows
    return ::fcntl(fd, F_SETLK, &lock) == 0;
}

} // namespace

InstanceLock::InstanceLock(const ClientPaths &paths)
    : m_path(paths.instanceLock()) {}

InstanceLock::~InstanceLock() {
    release();
}

bool InstanceLock::acquire() {
    if (m_descriptor >= 0)
        return true;
    const int fd = ::open(QFile::encodeName(m_path).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Also narrows a file left behind with wider permissions. The lock does not depend on it.
    (void)::fchmod(fd, 0600);
    if (!setWholeFileLock(fd, F_WRLCK)) {
        ::close(fd);
        return false;
    }
    m_descriptor = fd;
    return true;
}

void InstanceLock::release() {
    if (m_descriptor < 0)
        return;
    setWholeFileLock(m_descriptor, F_UNLCK);
    ::close(m_descriptor);
    m_descriptor = -1;
}

} // namespace velmora
