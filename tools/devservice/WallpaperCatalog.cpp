#include "WallpaperCatalog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace velmora::dev {

QString sha256OfFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

QString sha256Of(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString WallpaperCatalog::contentTypeFor(const QString &fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == u"png")
        return u"image/png"_s;
    if (suffix == u"bmp")
        return u"image/bmp"_s;
    if (suffix == u"webp")
        return u"image/webp"_s;
    return u"image/jpeg"_s;
}

QString WallpaperCatalog::downloadPath(qint64 id) {
    return u"/api/client/files/wallpaper/%1"_s.arg(id);
}

void WallpaperCatalog::load(const QString &folder) {
    const QStringList filters{u"*.jpg"_s, u"*.jpeg"_s, u"*.png"_s, u"*.bmp"_s, u"*.webp"_s};
    const QFileInfoList files = QDir(folder).entryInfoList(filters, QDir::Files | QDir::Readable,
                                                           QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &file : files) {
        CatalogImage image;
        image.fileName = file.fileName();
        image.contentType = contentTypeFor(image.fileName);
        image.filePath = file.absoluteFilePath();
        image.length = file.size();
        image.sha256 = sha256OfFile(image.filePath);
        if (image.sha256.isEmpty())
            continue;
        image.id = qint64(m_images.size()) + 1;
        m_images.push_back(std::move(image));
    }
    m_folderImages = m_images.size();
}

const CatalogImage &WallpaperCatalog::add(const QString &fileName, const QByteArray &bytes,
                                          const QString &contentType) {
    CatalogImage image;
    image.id = m_images.empty() ? 1 : m_images.back().id + 1;
    image.fileName = fileName;
    image.contentType = contentType.isEmpty() ? contentTypeFor(fileName) : contentType;
    image.bytes = bytes;
    image.length = bytes.size();
    image.sha256 = sha256Of(bytes);
    m_images.push_back(std::move(image));
    return m_images.back();
}

const CatalogImage *WallpaperCatalog::byId(qint64 id) const {
    for (const CatalogImage &image : m_images)
        if (image.id == id)
            return &image;
    return nullptr;
}

const CatalogImage *WallpaperCatalog::forDate(QDate date) const {
    if (m_pinned != 0)
        return byId(m_pinned);
    if (m_folderImages == 0)
        return nullptr;
    return &m_images[size_t(date.toJulianDay() % qint64(m_folderImages))];
}

} // namespace velmora::dev
