#include "WallpaperStore.h"

#include "core/PrivateFile.h"
#include "core/Text.h"
#include "net/FileHasher.h"
#include "platform/Desktop.h"
#include "platform/HexDigits.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr qint64 kMaximumRecordBytes = 64 * 1024;
const char *const kRecordName = "last-wallpaper.json";

// The extension of a file name's last path component, without its dot ("" for none, for a
// trailing dot and for a hidden name like ".jpg").
QString pathExtension(const QString &fileName) {
    const QString last = fileName.section(u'/', -1, -1, QString::SectionSkipEmpty);
    const qsizetype dot = last.lastIndexOf(u'.');
    return dot > 0 ? last.mid(dot + 1) : QString();
}

QString withoutExtension(const QString &lastComponent) {
    const qsizetype dot = lastComponent.lastIndexOf(u'.');
    return dot > 0 ? lastComponent.left(dot) : lastComponent;
}

// Control characters, "/" and ":" cannot stand in a file name shown to the user.
QString replaceUnsafeNameCharacters(const QString &text) {
    QString safe;
    safe.reserve(text.size());
    for (const uint scalar : text.toUcs4()) {
        if (QChar::category(char32_t(scalar)) == QChar::Other_Control || scalar == '/' ||
            scalar == ':')
            safe += u'_';
        else
            safe += QString::fromUcs4(reinterpret_cast<const char32_t *>(&scalar), 1);
    }
    return safe;
}

bool existsWithoutFollowing(const QString &path) {
    return PrivateFile::inspect(path).has_value();
}

struct CacheEntry {
    QString path;
    bool isDirectory = false;
    timespec modified{};
};

bool newer(const CacheEntry &a, const CacheEntry &b) {
    if (a.modified.tv_sec != b.modified.tv_sec)
        return a.modified.tv_sec > b.modified.tv_sec;
    return a.modified.tv_nsec > b.modified.tv_nsec;
}

} // namespace

WallpaperStore::WallpaperStore(ClientPaths paths, DesktopFactory desktop)
    : m_paths(std::move(paths))
    , m_makeDesktop(desktop ? std::move(desktop) : DesktopFactory(&platform::systemDesktop)) {}

WallpaperStore::~WallpaperStore() = default;

QString WallpaperStore::recordPath() const {
    return m_paths.root() + u'/' + QLatin1String(kRecordName);
}

QString WallpaperStore::sanitize(const QString &text, const QString &fallback) {
    QString mapped;
    for (const uint scalar : text.toUcs4()) {
        const bool keep = (scalar >= 'A' && scalar <= 'Z') || (scalar >= 'a' && scalar <= 'z') ||
                          (scalar >= '0' && scalar <= '9') || scalar == '_' || scalar == '-';
        mapped += keep ? QChar(char16_t(scalar)) : QChar(u'-');
    }
    qsizetype begin = 0;
    qsizetype end = mapped.size();
    while (begin < end && mapped[begin] == u'-')
        ++begin;
    while (end > begin && mapped[end - 1] == u'-')
        --end;
    if (begin == end)
        return fallback;
    return mapped.mid(begin, end - begin).left(80);
}

QString WallpaperStore::fileExtension(const WallpaperMetadata &metadata) {
    const QString extension = pathExtension(metadata.fileName).toLower();
    for (const char *known : {"jpg", "jpeg", "png", "bmp", "webp"}) {
        if (extension == QLatin1String(known))
            return u'.' + extension;
    }
    const QString type = metadata.contentType.toLower();
    if (type == u"image/png")
        return QStringLiteral(".png");
    if (type == u"image/bmp")
        return QStringLiteral(".bmp");
    if (type == u"image/webp")
        return QStringLiteral(".webp");
    return QStringLiteral(".jpg");
}

QString WallpaperStore::cachedURL(const WallpaperMetadata &metadata) const {
    const QString base = sanitize(QString::number(metadata.id), QStringLiteral("wallpaper"));
    QString digest;
    for (const QChar c : metadata.sha256) {
        if (digest.size() == 12)
            break;
        if (HexDigits::isDigit(c))
            digest += c;
    }
    if (digest.isEmpty())
        digest = QStringLiteral("unknown");
    return m_paths.wallpapers() + u'/' + base + u'-' + digest + fileExtension(metadata);
}

bool WallpaperStore::isValidCache(const QString &path, const QString &expectedSHA256) {
    const std::optional<PrivateFile::Attributes> item = PrivateFile::inspect(path);
    if (!item || item->isSymbolicLink)
        return false;
    // Opened without following a link, so a link swapped in after the check is not hashed.
    const Result<QString> digest = FileHasher::sha256(path, FileHasher::Links::Refuse);
    if (!digest)
        return false;
    return expectedSHA256.isEmpty() || sameDigest(*digest, expectedSHA256);
}

void WallpaperStore::remember(const WallpaperMetadata &metadata, const QString &file) const {
    if (PrivateFile::isSymbolicLink(file))
        return;
    const QFileInfo info(file);
    if (ClientPaths::standardized(info.absolutePath()) !=
        ClientPaths::standardized(m_paths.wallpapers()))
        return;
    // The applied wallpaper becomes the newest cache entry, so pruning keeps it.
    ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), nullptr, AT_SYMLINK_NOFOLLOW);

    const QJsonObject record{{QStringLiteral("fileName"), info.fileName()},
                             {QStringLiteral("sha256"), metadata.sha256},
                             {QStringLiteral("effectiveDate"), metadata.effectiveDate}};
    if (PrivateFile::isSymbolicLink(recordPath()))
        return;
    (void)PrivateFile::writeAtomically(recordPath(), encodeJson(record));
}

std::optional<WallpaperStore::LastVerified> WallpaperStore::lastVerifiedWallpaper() const {
    if (PrivateFile::isSymbolicLink(recordPath()))
        return std::nullopt;
    const Result<QByteArray> bytes = PrivateFile::readNoFollow(recordPath(), kMaximumRecordBytes);
    if (!bytes)
        return std::nullopt;
    const Result<QJsonObject> object = [&]() -> Result<QJsonObject> {
        const QJsonDocument document = QJsonDocument::fromJson(*bytes);
        if (!document.isObject())
            return ClientError::invalidResponse();
        return document.object();
    }();
    if (!object)
        return std::nullopt;
    const QJsonValue fileName = object->value(QStringLiteral("fileName"));
    const QJsonValue sha256 = object->value(QStringLiteral("sha256"));
    const QJsonValue date = object->value(QStringLiteral("effectiveDate"));
    if (!fileName.isString() || !sha256.isString() || !date.isString())
        return std::nullopt;
    // The record names a file directly in the cache; anything that could step out of it is
    // a damaged record.
    const QString name = fileName.toString();
    if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..")
        return std::nullopt;
    const QString path = m_paths.wallpapers() + u'/' + name;
    if (!isValidCache(path, sha256.toString()))
        return std::nullopt;
    return LastVerified{path, date.toString()};
}

void WallpaperStore::pruneCache(int keeping) const {
    QDir directory(m_paths.wallpapers());
    if (!directory.exists())
        return;
    const QStringList names = directory.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    std::vector<CacheEntry> candidates;
    for (const QString &name : names) {
        if (name.startsWith(u'.') || pathExtension(name).isEmpty())
            continue;
        const QString path = directory.filePath(name);
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
            candidates.push_back({path, false, {}});
            continue;
        }
        if (S_ISLNK(info.st_mode))
            continue;
        candidates.push_back({path, S_ISDIR(info.st_mode), info.st_mtim});
    }
    std::stable_sort(candidates.begin(), candidates.end(), newer);
    const size_t keep = size_t(std::max(keeping, 1));
    for (size_t i = keep; i < candidates.size(); ++i) {
        if (candidates[i].isDirectory)
            QDir(candidates[i].path).removeRecursively();
        else
            ::unlink(QFile::encodeName(candidates[i].path).constData());
    }
}

Status WallpaperStore::setDesktopWallpaper(const QString &file, DisplayMode mode) {
    if (!QFileInfo::exists(file))
        return ClientError::wallpaper(QStringLiteral("壁纸文件不存在：") + file);
    if (!m_desktop)
        m_desktop = m_makeDesktop();
    const std::vector<platform::Screen> screens =
        m_desktop ? m_desktop->screens() : std::vector<platform::Screen>();
    if (screens.empty())
        return ClientError::wallpaper(QStringLiteral("当前没有可用的显示器。"));

    platform::DesktopImageOptions options;
    options.allowClipping = mode == DisplayMode::Fill;
    for (const platform::Screen &screen : screens) {
        QString error;
        if (!m_desktop->setDesktopImage(file, screen, options, &error))
            return ClientError::wallpaper(QStringLiteral("设置桌面壁纸失败：") + error);
    }
    return {};
}

QString WallpaperStore::exportFileName(const WallpaperMetadata &metadata) {
    const QString lastComponent =
        metadata.fileName.section(u'/', -1, -1, QString::SectionSkipEmpty);
    QString title = replaceUnsafeNameCharacters(withoutExtension(lastComponent));
    qsizetype begin = 0;
    qsizetype end = title.size();
    const auto trimmable = [](QChar c) {
        return c.isSpace() || c == u'.';
    };
    while (begin < end && trimmable(title[begin]))
        ++begin;
    while (end > begin && trimmable(title[end - 1]))
        --end;
    title = title.mid(begin, end - begin);
    title = title.isEmpty() ? QStringLiteral("Velmora壁纸") : Text::userPerceivedPrefix(title, 120);
    // The date comes from the service: it may not name another directory.
    QString date = metadata.effectiveDate;
    for (QChar &c : date) {
        if (c == u'/' || c.category() == QChar::Other_Control)
            c = u'_';
    }
    return date + u'_' + title + fileExtension(metadata);
}

QString WallpaperStore::defaultSaveDirectory() {
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + QStringLiteral("/Pictures");
    return ClientPaths::standardized(pictures + QStringLiteral("/Velmora壁纸"));
}

Result<QString> WallpaperStore::saveCopy(const WallpaperMetadata &metadata, const QString &source,
                                         const std::optional<QString> &destinationDirectory) const {
    if (!isValidCache(source, metadata.sha256))
        return ClientError::fileSystem(QStringLiteral("今日壁纸缓存校验失败，未执行保存。"));

    const QString directory = destinationDirectory
                                  ? ClientPaths::standardized(*destinationDirectory)
                                  : defaultSaveDirectory();
    if (PrivateFile::isSymbolicLink(directory))
        return ClientError::fileSystem(QStringLiteral("目标图片目录不能是符号链接。"));
    // An ordinary folder of the user's, so the usual permissions (0777 less the umask).
    if (Status made = PrivateFile::makeDirectories(directory, 0777); !made)
        return ClientError::fileSystem(QStringLiteral("无法创建图片保存目录：") +
                                       made.error().description());

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
        candidate = directory + u'/' + stem + QStringLiteral(" (%1).").arg(n) + extension;

    // Created exclusively and never through a link, so nothing else is overwritten.
    QFile input(source);
    const int fd = ::open(QFile::encodeName(candidate).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 || !input.open(QIODevice::ReadOnly)) {
        const int error = fd < 0 ? errno : EACCES;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(QFile::encodeName(candidate).constData());
        }
        return ClientError::fileSystem(QStringLiteral("保存今日壁纸失败：") +
                                       platform::describeSystemError(error, candidate));
    }
    QFile output;
    output.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    for (;;) {
        const QByteArray chunk = input.read(FileHasher::chunkSize);
        const bool readFailed = input.error() != QFileDevice::NoError;
        if (readFailed || output.write(chunk) != chunk.size()) {
            const int error = errno ? errno : EIO;
            output.close();
            ::unlink(QFile::encodeName(candidate).constData());
            return ClientError::fileSystem(QStringLiteral("保存今日壁纸失败：") +
                                           platform::describeSystemError(error, candidate));
        }
        if (chunk.isEmpty())
            break;
    }
    if (!output.flush()) {
        output.close();
        ::unlink(QFile::encodeName(candidate).constData());
        return ClientError::fileSystem(QStringLiteral("保存今日壁纸失败：") +
                                       platform::describeSystemError(EIO, candidate));
    }
    output.close();

    const Result<QString> copied = FileHasher::sha256(candidate, FileHasher::Links::Refuse);
    if (!copied)
        return copied.error();
    if (!sameDigest(*copied, metadata.sha256)) {
        ::unlink(QFile::encodeName(candidate).constData());
        return ClientError::fileSystem(QStringLiteral("保存后的壁纸校验失败，已移除不完整文件。"));
    }
    return candidate;
}

} // namespace velmora
