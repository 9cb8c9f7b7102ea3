#include "PrivateFile.h"

#include "StagingFile.h"
#include "platform/SystemError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::PrivateFile {

namespace {

Error systemError(int errnum, const QString &path) {
    return Error::foreign(platform::describeSystemError(errnum, path));
}

// Closes a descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports whether the kernel accepted it (a late write error shows up here).
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

} // namespace

std::optional<Attributes> inspect(const QString &path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return Attributes{S_ISLNK(info.st_mode), S_ISREG(info.st_mode), mode_t(info.st_mode & 07777)};
}

bool isSymbolicLink(const QString &path) {
    const std::optional<Attributes> attributes = inspect(path);
    return attributes && attributes->isSymbolicLink;
}

Status writeAtomically(const QString &path, const QByteArray &bytes) {
    // A link at the target is refused rather than replaced: the caller named a file, not
    // whatever the link leads to.
    if (isSymbolicLink(path))
        return systemError(ELOOP, path);
    Result<StagingFile> staging = StagingFile::create(path, QByteArrayLiteral(".tmp"));
    if (!staging)
        return staging.error();
    staging->write(bytes.constData(), bytes.size());
    return staging->commit();
}

bool writeAll(int fd, const char *bytes, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

Result<QByteArray> readNoFollow(const QString &path, qint64 maxBytes, Trust trust) {
    // O_NONBLOCK keeps a FIFO planted at the path from stalling the open.
    const Descriptor file(::open(QFile::encodeName(path).constData(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid())
        return systemError(errno, path);

    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return systemError(errno, path);
    if (S_ISDIR(info.st_mode))
        return systemError(EISDIR, path);
    if (!S_ISREG(info.st_mode))
        return systemError(EINVAL, path);
    if (trust == Trust::OwnerOnly && (info.st_mode & 077) != 0)
        return systemError(EACCES, path);
    if (info.st_size > maxBytes)
        return systemError(EFBIG, path);

    QByteArray bytes;
    bytes.resize(qsizetype(info.st_size));
    qsizetype filled = 0;
    // The size may change under us; read until end of file, but never past the limit.
    while (true) {
        if (filled == bytes.size()) {
            if (bytes.size() > maxBytes)
                return systemError(EFBIG, path);
            bytes.resize(qMin<qint64>(maxBytes + 1, bytes.size() + 4096));
        }
        const ssize_t got =
            ::read(file.get(), bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return systemError(errno, path);
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maxBytes)
        return systemError(EFBIG, path);
    bytes.truncate(filled);
    return bytes;
}

namespace {

bool makeDirectoriesNative(const QString &path, mode_t mode) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), mode) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0 || !makeDirectoriesNative(path.left(slash), mode))
        return false;
    return ::mkdir(native.constData(), mode) == 0 || errno == EEXIST;
}

} // namespace

Status makeDirectories(const QString &path, mode_t mode) {
    if (!makeDirectoriesNative(path, mode))
        return systemError(errno, path);
    // Something that is not a directory (a file, a link to a file) was in the way.
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return systemError(errno, path);
    if (!S_ISDIR(info.st_mode))
        return systemError(ENOTDIR, path);
    return {};
}

} // namespace velmora::PrivateFile
