#include "StatusItem.h"

#include "MenuWindow.h"
#include "platform/Bundle.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

const QString toolTip = u"Velmora壁纸"_s;

QPixmap drawnBolt() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath bolt;
    bolt.moveTo(38, 4);
    bolt.lineTo(12, 36);
    bolt.lineTo(30, 36);
    bolt.lineTo(24, 60);
    bolt.lineTo(52, 26);
    bolt.lineTo(34, 26);
    bolt.closeSubpath();
    painter.setPen(QPen(QColor(0x0e, 0x1f, 0x29), 3));
    painter.setBrush(QColor(0xf2, 0xb1, 0x34));
    painter.drawPath(bolt);
    return pixmap;
}

} // namespace

StatusItem::StatusItem(QMenu *menu, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
    , m_icon(makeStatusBarIcon()) {}

StatusItem::~StatusItem() = default;

QIcon StatusItem::makeStatusBarIcon() {
    if (const std::optional<QString> file = Bundle::resource(u"AppIcon"_s, u"png"_s)) {
        const QPixmap pixmap(*file);
        if (!pixmap.isNull())
            return QIcon(pixmap);
    }
    return QIcon(drawnBolt());
}

QIcon StatusItem::iconAt(double opacity) const {
    if (opacity >= 1.0)
        return m_icon;
    QIcon dimmed;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        const QPixmap source = m_icon.pixmap(size, size);
        QPixmap pixmap(source.size());
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setOpacity(opacity);
        painter.drawPixmap(0, 0, source);
        painter.end();
        dimmed.addPixmap(pixmap);
    }
    return dimmed;
}

void StatusItem::show() {
    if (m_tray || m_waitForTray)
        return;
    m_waitForTray = new QTimer(this);
    m_waitForTray->setInterval(std::chrono::milliseconds(500));
    connect(m_waitForTray, &QTimer::timeout, this, &StatusItem::showTrayOrWait);
    showTrayOrWait();
}

// A tray host may still be starting with the session; the window is the last resort.
void StatusItem::showTrayOrWait() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_waitForTray->stop();
        m_tray = std::make_unique<QSystemTrayIcon>(iconAt(m_opacity));
        m_tray->setToolTip(toolTip);
        m_tray->setContextMenu(m_menu);
        // A left click opens the menu too, as a menu-bar item does.
        connect(m_tray.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible())
                        m_menu->popup(QCursor::pos());
                });
        m_tray->show();
        return;
    }
    const int waited = m_waited++ * m_waitForTray->interval();
    if (waited >= std::chrono::duration_cast<std::chrono::milliseconds>(trayWaitTime).count()) {
        m_waitForTray->stop();
        showWindow();
        return;
    }
    if (!m_waitForTray->isActive())
        m_waitForTray->start();
}

void StatusItem::showWindow() {
    if (!m_window)
        m_window = std::make_unique<MenuWindow>(m_menu);
    m_window->setWindowIcon(m_icon);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void StatusItem::setBusy(bool busy) {
    const double opacity = busy ? busyOpacity : 1.0;
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    if (m_tray)
        m_tray->setIcon(iconAt(m_opacity));
}

void StatusItem::raise() {
    if (m_window)
        showWindow();
}

QWidget *StatusItem::window() const {
    return m_window.get();
}

} // namespace velmora
