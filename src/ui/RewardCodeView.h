#pragma once

#include <QTextEdit>

namespace velmora {

// A promotional code as the user reads and selects it: monospaced, wrapped at any character
// (a code has no word boundaries, and a long one must not widen the window), exactly as tall as
// its lines, with no frame, background or scroll bars of its own. The wheel scrolls the window
// around it.
class RewardCodeView : public QTextEdit {
    Q_OBJECT

public:
    explicit RewardCodeView(const QString &code, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void fitHeight();
};

} // namespace velmora
