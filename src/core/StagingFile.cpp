#include "StagingFile.h"

#include "PrivateFile.h"
#include "platform/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

constexpr mode_t kStagingMode = 0600;

// The staging files of this process, for the termination-signal handler, which may only use
// async-signal-safe calls: fixed slots of plain paths, claimed and released atomically.
struct Registration {
    std::atomic<int> state{0}; // 0 free, 1 being written, 2 live
    char path[PATH_MAX];
};
Registration registrations[32];

int registerPath(const QString &path) {
    const QByteArray native = QFile::encodeName(path);
    if (native.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < int(std::size(registrations)); ++i) {
        int expected = 0;
        if (registrations[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(registrations[i].path, native.constData(), size_t(native.size()) + 1);
            registrations[i].state.store(2, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void unregisterPath(int slot) {
    if (slot >= 0)
        registrations[slot].state.store(0, std::memory_order_release);
}

extern "C" void removeStagingFilesAndDie(int signal) {
    for (Registration &registration : registrations) {
        if (registration.state.load(std::memory_order_acquire) == 2)
            ::unlink(registration.path);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

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

    // Registered before it exists: a termination signal (handled on whichever thread) between
    // creating the file and registering it would otherwise leave it behind. The random name is
    // never another writer's. An unlocked staging file counts as abandoned, so the sweep of
    // another process may take the lock between creation and ours: it unlinks the file under
    // that lock, and this writer, finding the lock held or the file gone, tries a new name.
    for (int attempt = 0; attempt < 16 && staging.m_fd < 0; ++attempt) {
        unregisterPath(std::exchange(staging.m_registration, -1));
        staging.m_name = '.' + staging.m_destinationName + '.' +
                         QByteArray::number(QRandomGenerator::global()->generate64(), 36) + suffix;
        staging.m_path = directory + u'/' + QFile::decodeName(staging.m_name);
        staging.m_registration = registerPath(staging.m_path);
        const int fd = ::openat(staging.m_directory, staging.m_name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kStagingMode);
        if (fd < 0 && errno != EEXIST)
            break;
        if (fd < 0)
            continue;
        // Where the file system has no locks, no sweep can take one either.
        const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        struct stat info {};
        if (!taken && ::fstat(fd, &info) == 0 && info.st_nlink > 0)
            staging.m_fd = fd;
        else
            ::close(fd);
        errno = EEXIST;
    }
    if (staging.m_fd < 0) {
        const int failure = errno;
        unregisterPath(std::exchange(staging.m_registration, -1));
        staging.m_name.clear();
        return systemError(failure, destination);
    }
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
    , m_error(other.m_error)
    , m_registration(std::exchange(other.m_registration, -1)) {}

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
        m_registration = std::exchange(other.m_registration, -1);
    }
    return *this;
}

StagingFile::~StagingFile() {
    discard();
}

void StagingFile::discard() {
    unregisterPath(std::exchange(m_registration, -1));
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

void StagingFile::removeAbandoned(const QString &directory, const QByteArray &suffix) {
    const int dir = ::open(QFile::encodeName(directory).constData(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return;
    DIR *listing = ::fdopendir(::dup(dir));
    while (dirent *entry = listing ? ::readdir(listing) : nullptr) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith('.') || !name.endsWith(suffix) || name == "." || name == "..")
            continue;
        const int fd = ::openat(dir, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {};
        // Unlinked while locked, so a writer that gets the lock next sees the file is gone.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dir, entry->d_name, 0);
        ::close(fd);
    }
    if (listing)
        ::closedir(listing);
    ::close(dir);
}

void StagingFile::removeOnTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = removeStagingFilesAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
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
    // The lock stays with the duplicate until the rename: an unlocked staging file is swept.
    const int lock = ::dup(m_fd);
    if (lock < 0 && failure == 0)
        failure = errno;
    // A late write error of the file system shows up at close.
    if (::close(std::exchange(m_fd, -1)) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::renameat(m_directory, m_name.constData(), m_directory,
                                   m_destinationName.constData()) != 0)
        failure = errno;
    if (lock >= 0)
        ::close(lock);
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
