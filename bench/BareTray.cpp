// The baseline of the tray benchmark: a bare Qt Widgets tray application with a menu of the
// same size and nothing else.
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QMenu menu;
    for (int i = 0; i < 16; ++i)
        menu.addAction(u"项目 %1"_s.arg(i));
    QPixmap icon(64, 64);
    icon.fill(Qt::darkCyan);
    QSystemTrayIcon tray{QIcon(icon)};
    tray.setToolTip(u"Velmora壁纸"_s);
    tray.setContextMenu(&menu);
    tray.show();
    return QApplication::exec();
}
