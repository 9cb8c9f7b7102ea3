#include "WallpaperStore.h"

#include "core/PrivateFile.h"
#include "core/Text.h"
#include "net/FileHasher.h"
#include "platform/Desktop.h"
#include "platform/HexDigits.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr qint64 kMaximumRecordBytes = 64 * 1024;
constexpr qsizetype kMaximumRecordedDateLength = 256;

} // namespace

WallpaperStore::WallpaperStore(ClientPaths paths, DesktopFactory desktop)
    : m_paths(std::move(paths))
    , m_makeDesktop(desktop ? std::move(desktop) : DesktopFactory(&platform::systemDesktop)) {}

WallpaperStore::~WallpaperStore() = default;

QString WallpaperStore::recordPath() const {
    return m_paths.lastWallpaperRecord();
}

QString WallpaperStore::cachedURL(const WallpaperMetadata &metadata) const {
    const QString base = sanitize(QString::number(metadata.id), u"wallpaper"_s);
    QString digest;
    for (const QChar c : metadata.sha256) {
        if (digest.size() == 12)
            break;
        if (HexDigits::isDigit(c))
            digest += c;
    }
    if (digest.isEmpty())
        digest = u"unknown"_s;
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

    // The date comes from the service. Kept short, so that the record always reads back within
    // the reader's limit: a record that does not would silently lose the offline fallback.
    QString date = metadata.effectiveDate;
    if (date.size() > kMaximumRecordedDateLength) {
        date.truncate(kMaximumRecordedDateLength);
        if (date.back().isHighSurrogate())
            date.chop(1);
    }
    const QJsonObject record{{u"fileName"_s, info.fileName()},
                             {u"sha256"_s, metadata.sha256},
                             {u"effectiveDate"_s, date}};
    if (PrivateFile::isSymbolicLink(recordPath()))
        return;
    (void)PrivateFile::writeAtomically(recordPath(), encodeJson(record));
}

std::optional<WallpaperStore::Record> WallpaperStore::readRecord() const {
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
    const QJsonValue fileName = object->value(u"fileName"_s);
    const QJsonValue sha256 = object->value(u"sha256"_s);
    const QJsonValue date = object->value(u"effectiveDate"_s);
    if (!fileName.isString() || !sha256.isString() || !date.isString())
        return std::nullopt;
    // The record names a file directly in the cache; anything that could step out of it is
    // a damaged record.
    const QString name = fileName.toString();
    if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..")
        return std::nullopt;
    return Record{name, sha256.toString(), date.toString()};
}

std::optional<WallpaperStore::LastVerified> WallpaperStore::lastVerifiedWallpaper() const {
    const std::optional<Record> record = readRecord();
    if (!record)
        return std::nullopt;
    const QString path = m_paths.wallpapers() + u'/' + record->fileName;
    if (!isValidCache(path, record->sha256))
        return std::nullopt;
    return LastVerified{path, Text::displaySafe(record->date, kMaximumRecordedDateLength)};
}

} // namespace velmora
