#include "WallpaperNames.h"

#include "WallpaperStore.h"
#include "core/Text.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace WallpaperNames {

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

} // namespace WallpaperNames

namespace {

// Control and invisible format characters (a right-to-left override turns "evil\u202Egpj.png"
// into what reads as "evilgnp.jpg") and the `separators` cannot stand in a file name shown to
// the user.
QString replaceUnsafeNameCharacters(const QString &text, QStringView separators) {
    QString safe;
    safe.reserve(text.size());
    for (const uint scalar : text.toUcs4()) {
        const QChar::Category category = QChar::category(char32_t(scalar));
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            (scalar < 0x80 && separators.contains(QChar(char16_t(scalar)))))
            safe += u'_';
        else
            safe += QString::fromUcs4(reinterpret_cast<const char32_t *>(&scalar), 1);
    }
    return safe;
}

// A file name holds at most 255 bytes, and 120 Chinese characters alone take 360 in UTF-8. The
// title gives way and leaves room for the " (n)" that a second copy under the same name gets.
constexpr qsizetype nameBytes = 255 - 10;

} // namespace

using WallpaperNames::pathExtension;
using WallpaperNames::withoutExtension;

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
        return u".png"_s;
    if (type == u"image/bmp")
        return u".bmp"_s;
    if (type == u"image/webp")
        return u".webp"_s;
    return u".jpg"_s;
}

QString WallpaperStore::exportFileName(const WallpaperMetadata &metadata) {
    const QString lastComponent =
        metadata.fileName.section(u'/', -1, -1, QString::SectionSkipEmpty);
    QString title = replaceUnsafeNameCharacters(withoutExtension(lastComponent), u"/:");
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
    title = title.isEmpty() ? u"Velmora壁纸"_s : Text::userPerceivedPrefix(title, 120);
    // The date comes from the service: it may not name another directory.
    const QString date = replaceUnsafeNameCharacters(metadata.effectiveDate, u"/");
    const QString extension = fileExtension(metadata);
    const qsizetype fixedBytes = date.toUtf8().size() + 1 + extension.size();
    return date + u'_' + Text::utf8Prefix(title, nameBytes - fixedBytes) + extension;
}

} // namespace velmora
