#include "Text.h"

#include <QList>
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

QString userPerceivedPrefix(const QString &text, qsizetype count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype taken = 0; taken < count; ++taken) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1)
            break;
        end = next;
    }
    return text.left(end);
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

} // namespace velmora::Text
