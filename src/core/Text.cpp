#include "Text.h"

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

} // namespace velmora::Text
