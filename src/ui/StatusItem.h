#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;

namespace velmora {

class MenuWindow;

// The application's item in the desktop's tray: the icon (dimmed while busy), the tool tip and
// the menu. Desktops without a tray (stock GNOME has none without an extension) get the same
// menu in a small window instead, once no tray has appeared for `trayWaitTime`.
class StatusItem : public QObject {
    Q_OBJECT

public:
    explicit StatusItem(QMenu *menu, QObject *parent = nullptr);
    ~StatusItem() override;

    static constexpr std::chrono::seconds trayWaitTime{10};
    static constexpr double busyOpacity = 0.55;

    // Shows the tray icon, or starts waiting for a tray.
    void show();
    void setBusy(bool busy);
    double opacity() const { return m_opacity; }
    // Brings the no-tray window forward when it is shown.
    void raise();
    // The no-tray window, once shown.
    QWidget *window() const;

    // AppIcon.png of the application's bundle directory, else a drawn lightning bolt.
    static QIcon makeStatusBarIcon();

private:
    void showTrayOrWait();
    void showWindow();
    QIcon iconAt(double opacity) const;

    QMenu *m_menu;
    QIcon m_icon;
    double m_opacity = 1.0;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<MenuWindow> m_window;
    QTimer *m_waitForTray = nullptr;
    int m_waited = 0;
};

} // namespace velmora
