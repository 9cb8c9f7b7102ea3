#include "SessionWatcher.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QNetworkInformation>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace velmora {

SessionWatcher::SessionWatcher(QObject *parent)
    : QObject(parent) {
    for (auto [timer, interval, signal] :
         {std::tuple(&m_screenSettle, screenSettleMs, &SessionWatcher::screensChanged),
          std::tuple(&m_networkSettle, networkSettleMs, &SessionWatcher::networkReturned)}) {
        timer->setSingleShot(true);
        timer->setInterval(interval);
        connect(timer, &QTimer::timeout, this, signal);
    }
}

void SessionWatcher::start() {
    const auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (application) {
        const auto changed = [this] {
            m_screenSettle.start();
        };
        connect(application, &QGuiApplication::screenAdded, this, [this, changed](QScreen *added) {
            watchScreen(added);
            changed();
        });
        connect(application, &QGuiApplication::screenRemoved, this, changed);
        for (QScreen *screen : QGuiApplication::screens())
            watchScreen(screen);
    }

    // Only logind's own announcement counts: the match names its service, so no other client
    // on the bus can make this one refresh.
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected())
        system.connect(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
                       u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s, this,
                       SLOT(prepareForSleep(bool)));

    // Qt picks NetworkManager by default; GLib's monitor of the kernel's routes covers the
    // sessions without it.
    using Feature = QNetworkInformation::Feature;
    if ((QNetworkInformation::loadDefaultBackend() ||
         QNetworkInformation::loadBackendByFeatures(Feature::Reachability)) &&
        QNetworkInformation::instance()->supports(Feature::Reachability)) {
        QNetworkInformation *network = QNetworkInformation::instance();
        const auto report = [this](QNetworkInformation::Reachability reachability) {
            setNetworkReachable(reachability == QNetworkInformation::Reachability::Online);
        };
        m_reachable = network->reachability() == QNetworkInformation::Reachability::Online;
        connect(network, &QNetworkInformation::reachabilityChanged, this, report);
    }
}

void SessionWatcher::watchScreen(QScreen *screen) {
    connect(screen, &QScreen::geometryChanged, &m_screenSettle, qOverload<>(&QTimer::start));
}

void SessionWatcher::setNetworkReachable(bool reachable) {
    if (reachable == m_reachable)
        return;
    m_reachable = reachable;
    if (reachable)
        m_networkSettle.start();
    else
        m_networkSettle.stop();
}

void SessionWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping)
        emit wokeUp();
}

} // namespace velmora
