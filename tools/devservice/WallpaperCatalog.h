#pragma once

// The images the service can hand out as "today's wallpaper": every image file of one folder,
// sorted by name, one per day in turn, plus any images a test adds at run time.

#include "DevService.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <vector>

namespace velmora::dev {

struct CatalogImage {
    qint64 id = 0;
    QString fileName;
    QString contentType;
    QString filePath; // on disk, or empty when `bytes` holds the image
    QByteArray bytes;
    qint64 length = 0;
    QString sha256;
};

class WallpaperCatalog {
public:
    // Reads and hashes every image of `folder`; unreadable files are skipped.
    void load(const QString &folder);
    const CatalogImage &add(const QString &fileName, const QByteArray &bytes,
                            const QString &contentType);
    void pin(qint64 id) { m_pinned = id; }

    // The image for `date`, or nullptr when there is none.
    const CatalogImage *forDate(QDate date) const;
    const CatalogImage *byId(qint64 id) const;

    static QString downloadPath(qint64 id);
    static QString contentTypeFor(const QString &fileName);

private:
    std::vector<CatalogImage> m_images;
    size_t m_folderImages = 0; // the first m_folderImages take turns by date
    qint64 m_pinned = 0;
};

// Lower-case hexadecimal SHA-256 of a file (empty when it cannot be read) or of bytes.
QString sha256OfFile(const QString &path);
QString sha256Of(const QByteArray &bytes);

} // namespace velmora::dev
