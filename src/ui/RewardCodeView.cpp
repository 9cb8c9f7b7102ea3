#include "RewardCodeView.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace velmora {

RewardCodeView::RewardCodeView(const QString &code, QWidget *parent)
    : QTextEdit(parent) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(17);
    font.setWeight(QFont::Medium);
    setFont(font);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAnywhere);
    setAcceptRichText(false);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("background: transparent;"));
    document()->setDocumentMargin(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setPlainText(code);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { fitHeight(); });
    fitHeight();
}

QSize RewardCodeView::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 8, height()};
}

QSize RewardCodeView::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 2, height()};
}

void RewardCodeView::resizeEvent(QResizeEvent *event) {
    QTextEdit::resizeEvent(event);
    fitHeight();
}

void RewardCodeView::wheelEvent(QWheelEvent *event) {
    event->ignore();
}

void RewardCodeView::fitHeight() {
    const int lines = int(std::ceil(document()->size().height()));
    const int wanted = std::max(lines, fontMetrics().height()) + 2 * frameWidth();
    if (height() != wanted)
        setFixedHeight(wanted);
}

} // namespace velmora
