#include "WallpaperNames.h"
#include "WallpaperStore.h"

#include "core/PrivateFile.h"
#include "net/FileHasher.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

using WallpaperNames::pathExtension;
using WallpaperNames::withoutExtension;

namespace {

bool existsWithoutFollowing(const QString &path) {
    return PrivateFile::inspect(path).has_value();
}

} // namespace

QString WallpaperStore::defaultSaveDirectory() {
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + u"/Pictures"_s;
    return ClientPaths::standardized(pictures + u"/Velmora壁纸"_s);
}

Result<QString> WallpaperStore::saveCopy(const WallpaperMetadata &metadata, const QString &source,
                                         const std::optional<QString> &destinationDirectory) const {
    if (!isValidCache(source, metadata.sha256))
        return ClientError::fileSystem(u"今日壁纸缓存校验失败，未执行保存。"_s);

    const QString directory = destinationDirectory
                                  ? ClientPaths::standardized(*destinationDirectory)
                                  : defaultSaveDirectory();
    if (PrivateFile::isSymbolicLink(directory))
        return ClientError::fileSystem(u"目标图片目录不能是符号链接。"_s);
    // An ordinary folder of the user's, so the usual permissions (0777 less the umask).
    if (Status made = PrivateFile::makeDirectories(directory, 0777); !made)
        return ClientError::fileSystem(u"无法创建图片保存目录："_s + made.error().description());

    const QString target = directory + u'/' + exportFileName(metadata);
    if (const auto existing = PrivateFile::inspect(target); existing && !existing->isSymbolicLink) {
        const Result<QString> digest = FileHasher::sha256(target, FileHasher::Links::Refuse);
        if (digest && sameDigest(*digest, metadata.sha256))
            return target;
    }

    const QFileInfo targetInfo(target);
    const QString stem = withoutExtension(targetInfo.fileName());
    const QString extension = pathExtension(targetInfo.fileName());
    QString candidate = target;
    for (int n = 1; existsWithoutFollowing(candidate); ++n)
        candidate = directory + u'/' + stem + u" (%1)."_s.arg(n) + extension;

    // Created exclusively and never through a link, so nothing else is overwritten.
    const QByteArray native = QFile::encodeName(candidate);
    const auto failed = [&](int error) -> Error {
        ::unlink(native.constData());
        return ClientError::fileSystem(u"保存今日壁纸失败："_s +
                                       platform::describeSystemError(error, candidate));
    };
    const int fd =
        ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return ClientError::fileSystem(u"保存今日壁纸失败："_s +
                                       platform::describeSystemError(errno, candidate));
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        ::close(fd);
        return failed(EACCES);
    }
    QByteArray buffer(FileHasher::chunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(buffer.data(), buffer.size());
        if (got < 0 || !PrivateFile::writeAll(fd, buffer.constData(), qMax<qint64>(got, 0))) {
            const int error = got < 0 || errno == 0 ? EIO : errno;
            ::close(fd);
            return failed(error);
        }
        if (got == 0)
            break;
    }
    if (::close(fd) != 0)
        return failed(errno);

    const Result<QString> copied = FileHasher::sha256(candidate, FileHasher::Links::Refuse);
    if (!copied)
        return copied.error();
    if (!sameDigest(*copied, metadata.sha256)) {
        ::unlink(native.constData());
        return ClientError::fileSystem(u"保存后的壁纸校验失败，已移除不完整文件。"_s);
    }
    return candidate;
}

} // namespace velmora
