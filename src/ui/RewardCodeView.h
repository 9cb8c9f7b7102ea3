#pragma once

#include <QTextDocument>
#include <QTextEdit>

namespace velmora {

// A promotional code as the user reads and selects it: monospaced, wrapped at any character
// (a code has no word boundaries, and a long one must not widen the window), exactly as tall as
// its lines at the width the layout gives it, with no frame, background or scroll bars of its
// own. The wheel scrolls the window around it.
class RewardCodeView : public QTextEdit {
    Q_OBJECT

public:
    explicit RewardCodeView(const QString &code, QWidget *parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    // The same text laid out at the width asked about, without touching the shown document.
    mutable QTextDocument m_measure;
};

} // namespace velmora
