#include "ClientPaths.h"

#include "ClientConstants.h"
#include "PrivateFile.h"
#include "platform/SystemError.h"

#include <QFile>

#include <QDir>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr mode_t kPrivateDirectoryMode = 0700;

// Makes one directory of the tree exist with owner-only permissions. The directory is opened
// without following a final symbolic link, so the permission change can never land elsewhere.
Status ensurePrivateDirectory(const QString &path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0) {
        if (S_ISLNK(info.st_mode))
            return ClientError::fileSystem(u"客户端数据目录不能是符号链接："_s + path);
    } else if (Status made = PrivateFile::makeDirectories(path, kPrivateDirectoryMode); !made) {
        return made;
    }

    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int openError = errno;
        if (openError == ELOOP)
            return ClientError::fileSystem(u"客户端数据目录不能是符号链接："_s + path);
        return Error::foreign(platform::describeSystemError(openError, path));
    }
    Status status;
    if (::fstat(fd, &info) != 0 || ((info.st_mode & 07777) != kPrivateDirectoryMode &&
                                    ::fchmod(fd, kPrivateDirectoryMode) != 0))
        status = Error::foreign(platform::describeSystemError(errno, path));
    ::close(fd);
    return status;
}

} // namespace

ClientPaths::ClientPaths(const std::optional<QString> &root) {
    if (root) {
        m_root = standardized(*root);
        return;
    }
    const QString fromEnvironment = qEnvironmentVariable("VELMORA_MAC_APPDATA");
    m_root = standardized(fromEnvironment.isEmpty() ? defaultRoot() : fromEnvironment);
}

Status ClientPaths::checkEnvironment() {
    QList<const char *> names{"VELMORA_MAC_APPDATA"};
    if (qEnvironmentVariableIsEmpty(names[0])) {
#ifdef Q_OS_MACOS
        names = {"HOME"};
#else
        names = {"XDG_DATA_HOME", "HOME"};
#endif
    }
    for (const char *name : names) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8(qgetenv(name)); // decodes only when made a string
        if (utf8.hasError())
            return ClientError::malformedData(u"环境变量 "_s + QLatin1String(name) +
                                              u" 的目录路径不是有效的 UTF-8。"_s);
    }
    return {};
}

QString ClientPaths::defaultRoot() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) {
#ifdef Q_OS_MACOS
        base = QDir::homePath() + u"/Library/Application Support"_s;
#else
        base = QDir::homePath() + u"/.local/share"_s;
#endif
    }
    return standardized(base + QLatin1Char('/') + ClientConstants::appName);
}

QString ClientPaths::standardized(const QString &path) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

bool ClientPaths::isDefaultRoot() const {
    return m_root == defaultRoot();
}

Status ClientPaths::ensure() const {
    for (const QString &directory : {m_root, wallpapers(), updates(), logs()}) {
        if (Status status = ensurePrivateDirectory(directory); !status)
            return wrapFileSystemError(u"无法创建客户端数据目录："_s, status.error());
    }
    return {};
}

} // namespace velmora
