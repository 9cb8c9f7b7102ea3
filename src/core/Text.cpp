#include "Text.h"

#include <QList>
#include <QStringList>
#include <QTextBoundaryFinder>

namespace velmora::Text {

QString trimmed(const QString &text) {
    return text.trimmed();
}

bool isBlank(const QString &text) {
    return trimmed(text).isEmpty();
}

qsizetype userPerceivedLength(const QString &text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

namespace {

// The longest prefix of whole user-perceived characters that `take` accepts one by one.
template <typename Take> QString prefixWhile(const QString &text, Take take) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype next = finder.toNextBoundary();
         next != -1 && take(QStringView(text).mid(end, next - end)); next = finder.toNextBoundary())
        end = next;
    return text.left(end);
}

} // namespace

QString userPerceivedPrefix(const QString &text, qsizetype count) {
    return prefixWhile(text, [&count](QStringView) { return count-- > 0; });
}

QString utf8Prefix(const QString &text, qsizetype bytes) {
    return prefixWhile(text, [&bytes](QStringView character) {
        bytes -= character.toUtf8().size();
        return bytes >= 0;
    });
}

QString displaySafe(const QString &text, qsizetype count) {
    QString kept;
    kept.reserve(text.size());
    for (const uint code : text.toUcs4()) {
        const char32_t scalar = code;
        const QChar::Category category = QChar::category(scalar);
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Other_Surrogate)
            continue;
        kept += QString::fromUcs4(&scalar, 1);
    }
    return userPerceivedPrefix(trimmed(kept), count);
}

QString displaySafeLines(const QString &text, qsizetype lines, qsizetype lineLength) {
    QStringList kept = text.split(u'\n');
    if (kept.size() > lines)
        kept.resize(lines);
    for (QString &line : kept)
        line = displaySafe(line, lineLength);
    return trimmed(kept.join(u'\n'));
}

} // namespace velmora::Text
