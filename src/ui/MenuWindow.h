#pragma once

#include <QWidget>

class QLabel;
class QMenu;
class QVBoxLayout;

namespace velmora {

// The tray menu as a small window, for desktops that show no tray icons: the status line, one
// button per item (sharing the menu's actions, so text, enabling and check marks follow
// updateMenu) and a button per submenu. Closing it only hides it.
class MenuWindow : public QWidget {
    Q_OBJECT

public:
    explicit MenuWindow(QMenu *menu, QWidget *parent = nullptr);

private:
    void addItems(QMenu *menu, QVBoxLayout *layout);

    QLabel *m_status = nullptr;
};

} // namespace velmora
