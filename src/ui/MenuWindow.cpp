#include "MenuWindow.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace velmora {

MenuWindow::MenuWindow(QMenu *menu, QWidget *parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(u"Velmora壁纸"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    addItems(menu, layout);
    auto *hint =
        new QLabel(u"桌面没有可用的托盘：托盘图标需要 StatusNotifierItem 托盘宿主（GNOME 上请启用 "
                   "AppIndicator 扩展），在此之前请从这个窗口操作。"_s,
                   this);
    hint->setWordWrap(true);
    hint->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(hint);
    setMinimumWidth(320);
}

void MenuWindow::addItems(QMenu *menu, QVBoxLayout *layout) {
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->isSeparator()) {
            auto *line = new QFrame(this);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            layout->addWidget(line);
            continue;
        }
        // The status line is the disabled item without an action of its own.
        if (!m_status && action == actions.first()) {
            m_status = new QLabel(action->text(), this);
            m_status->setToolTip(action->toolTip());
            connect(action, &QAction::changed, m_status, [this, action] {
                m_status->setText(action->text());
                m_status->setToolTip(action->toolTip());
            });
            layout->addWidget(m_status);
            continue;
        }
        auto *button = new QToolButton(this);
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        if (action->menu())
            button->setPopupMode(QToolButton::InstantPopup);
        layout->addWidget(button);
    }
}

} // namespace velmora
