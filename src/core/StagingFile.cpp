#include "StagingFile.h"

#include "PrivateFile.h"
#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

constexpr mode_t kStagingMode = 0600;

Error systemError(int errnum, const QString &path) {
    return Error::foreign(platform::describeSystemError(errnum, path));
}

} // namespace

Result<StagingFile> StagingFile::create(const QString &destination, const QByteArray &suffix) {
    const QFileInfo target(destination);
    StagingFile staging;
    staging.m_destination = target.absoluteFilePath();
    staging.m_destinationName = QFile::encodeName(target.fileName());
    if (staging.m_destinationName.isEmpty())
        return systemError(EISDIR, destination);

    // Everything happens relative to the opened directory, so the staging file and the final
    // rename land in the same place even if the path is changed meanwhile.
    const QString directory = target.absolutePath();
    staging.m_directory = ::open(QFile::encodeName(directory).constData(),
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (staging.m_directory < 0)
        return systemError(errno, directory);

    for (int attempt = 0; attempt < 16 && staging.m_fd < 0; ++attempt) {
        staging.m_name = '.' + staging.m_destinationName + '.' +
                         QByteArray::number(QRandomGenerator::global()->generate64(), 36) + suffix;
        staging.m_fd = ::openat(staging.m_directory, staging.m_name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kStagingMode);
        if (staging.m_fd < 0 && errno != EEXIST)
            break;
    }
    if (staging.m_fd < 0) {
        staging.m_name.clear();
        return systemError(errno, destination);
    }
    staging.m_path = directory + u'/' + QFile::decodeName(staging.m_name);
    // The umask may have narrowed the creation mode, never widened it; make it exact.
    if (::fchmod(staging.m_fd, kStagingMode) != 0)
        return systemError(errno, destination);
    return staging;
}

StagingFile::StagingFile(StagingFile &&other) noexcept
    : m_directory(std::exchange(other.m_directory, -1))
    , m_fd(std::exchange(other.m_fd, -1))
    , m_name(std::exchange(other.m_name, {}))
    , m_destinationName(std::move(other.m_destinationName))
    , m_path(std::move(other.m_path))
    , m_destination(std::move(other.m_destination))
    , m_error(other.m_error) {}

StagingFile &StagingFile::operator=(StagingFile &&other) noexcept {
    if (this != &other) {
        discard();
        m_directory = std::exchange(other.m_directory, -1);
        m_fd = std::exchange(other.m_fd, -1);
        m_name = std::exchange(other.m_name, {});
        m_destinationName = std::move(other.m_destinationName);
        m_path = std::move(other.m_path);
        m_destination = std::move(other.m_destination);
        m_error = other.m_error;
    }
    return *this;
}

StagingFile::~StagingFile() {
    discard();
}

void StagingFile::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_directory >= 0) {
        if (!m_name.isEmpty())
            ::unlinkat(m_directory, m_name.constData(), 0);
        ::close(m_directory);
    }
    m_directory = -1;
    m_name.clear();
}

bool StagingFile::write(const char *bytes, qint64 size) {
    if (m_error != 0 || m_fd < 0)
        return false;
    if (!PrivateFile::writeAll(m_fd, bytes, size)) {
        m_error = errno;
        return false;
    }
    return true;
}

Status StagingFile::commit(Durability durability) {
    if (m_fd < 0 || m_name.isEmpty())
        return systemError(EBADF, m_destination);
    int failure = m_error;
    if (failure == 0 && durability == Durability::Flushed && ::fsync(m_fd) != 0)
        failure = errno;
    // A late write error of the file system shows up at close.
    if (::close(std::exchange(m_fd, -1)) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::renameat(m_directory, m_name.constData(), m_directory,
                                   m_destinationName.constData()) != 0)
        failure = errno;
    if (failure != 0) {
        discard();
        return systemError(failure, m_destination);
    }
    // The rename itself made durable; the content is already safe, so a failure here is moot.
    if (durability == Durability::Flushed)
        ::fsync(m_directory);
    m_name.clear();
    discard();
    return {};
}

} // namespace velmora
