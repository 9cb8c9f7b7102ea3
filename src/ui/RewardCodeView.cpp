#include "RewardCodeView.h"

#include <QFontDatabase>
#include <QWheelEvent>

#include <cmath>

using namespace Qt::StringLiterals;

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
    setStyleSheet(u"background: transparent;"_s);
    document()->setDocumentMargin(0);
    setPlainText(code);

    m_measure.setDocumentMargin(0);
    m_measure.setDefaultFont(font);
    QTextOption wrapping = m_measure.defaultTextOption();
    wrapping.setWrapMode(QTextOption::WrapAnywhere);
    m_measure.setDefaultTextOption(wrapping);
    m_measure.setPlainText(code);

    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int RewardCodeView::heightForWidth(int width) const {
    m_measure.setTextWidth(std::max(width - 2 * frameWidth(), 1));
    const int lines = int(std::ceil(m_measure.size().height()));
    return std::max(lines, fontMetrics().height()) + 2 * frameWidth();
}

// One line: the height at a guessed width would reserve room the code never takes; layouts
// ask heightForWidth once they know the width.
QSize RewardCodeView::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 8, fontMetrics().height() + 2 * frameWidth()};
}

QSize RewardCodeView::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 2, fontMetrics().height() + 2 * frameWidth()};
}

void RewardCodeView::wheelEvent(QWheelEvent *event) {
    event->ignore();
}

} // namespace velmora
