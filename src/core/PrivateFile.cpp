#include "PrivateFile.h"

#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::PrivateFile {

namespace {

constexpr mode_t kPrivateFileMode = 0600;

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

bool writeAll(int fd, const QByteArray &bytes) {
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

QByteArray temporaryName(const QByteArray &targetName) {
    return '.' + targetName + '.' +
           QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
}

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
    const QFileInfo target(path);
    const QByteArray name = QFile::encodeName(target.fileName());
    if (name.isEmpty())
        return systemError(EISDIR, path);

    // Everything below works relative to the opened directory, so the temporary file and the
    // rename land in the same place even if the path is changed meanwhile.
    const Descriptor directory(::open(QFile::encodeName(target.absolutePath()).constData(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory.valid())
        return systemError(errno, target.absolutePath());

    struct stat existing {};
    if (::fstatat(directory.get(), name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(existing.st_mode))
        return systemError(ELOOP, path);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryName(name);
        fd = ::openat(directory.get(), temporary.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFileMode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return systemError(errno, path);

    Descriptor file(fd);
    // The umask may have narrowed the creation mode, never widened it; make it exact.
    bool written = ::fchmod(file.get(), kPrivateFileMode) == 0 && writeAll(file.get(), bytes) &&
                   ::fsync(file.get()) == 0;
    int failure = errno;
    if (written && !file.close()) {
        written = false;
        failure = errno;
    }
    if (written && ::renameat(directory.get(), temporary.constData(), directory.get(),
                              name.constData()) != 0) {
        written = false;
        failure = errno;
    }
    if (!written) {
        ::unlinkat(directory.get(), temporary.constData(), 0);
        return systemError(failure, path);
    }
    // Makes the rename itself durable; the content is already safe, so a failure here is moot.
    ::fsync(directory.get());
    return {};
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

bool makeDirectories(const QString &path, mode_t mode) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), mode) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0 || !makeDirectories(path.left(slash), mode))
        return false;
    return ::mkdir(native.constData(), mode) == 0 || errno == EEXIST;
}

} // namespace velmora::PrivateFile
