#include "InstanceSocketPath.h"

#include "platform/SystemError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora::InstanceSocketPath {

namespace {

bool fitsAnAddress(const QString &path) {
    return QFile::encodeName(path).size() <= maximumAddressLength;
}

// A directory only this user can enter, reached without a symbolic link at its last step.
bool isPrivateDirectory(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

QString privateTempDirectory() {
    return QDir::cleanPath(QDir::tempPath()) + u"/velmora-"_s + QString::number(::getuid());
}

} // namespace

QString of(const ClientPaths &paths) {
    const QString preferred = paths.instanceSocket();
    if (fitsAnAddress(preferred))
        return preferred;
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(paths.root().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(32));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateDirectory(runtime))
        return QDir::cleanPath(runtime) + u"/velmora-"_s + hash + u".sock"_s;
    return privateTempDirectory() + u'/' + hash + u".sock"_s;
}

Status prepareDirectory(const QString &socketPath) {
    const QString directory = QFileInfo(socketPath).path();
    if (directory != privateTempDirectory())
        return {};
    const QByteArray native = QFile::encodeName(directory);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return Error::foreign(platform::describeSystemError(errno, directory));
    if (!isPrivateDirectory(directory))
        return ClientError::fileSystem(u"实例通道目录不安全，它不属于当前用户或对其他用户开放："_s +
                                       directory);
    return {};
}

} // namespace velmora::InstanceSocketPath
