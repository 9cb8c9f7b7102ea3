#pragma once

#include <QObject>
#include <QTimer>

class QScreen;

namespace velmora {

// What happens around the application that can leave the desktop out of date: screens plugged
// in, removed or resized, the machine waking from sleep, the network coming back. Each reaches
// the owner as one signal on the main thread; a burst of screen changes and a network that
// comes and goes are debounced. Nothing here blocks: without a system bus, logind or a network
// information backend there is simply nothing to watch.
class SessionWatcher : public QObject {
    Q_OBJECT

public:
    explicit SessionWatcher(QObject *parent = nullptr);

    // Connects to Qt's screens, to logind on the system bus and to the network information.
    void start();

    // The network's reachability as the system reports it. Also how a session without a
    // network information backend (or a test) reports it.
    void setNetworkReachable(bool reachable);

    // A second after the last screen change, two after the network came back and stayed.
    static constexpr int screenSettleMs = 1000;
    static constexpr int networkSettleMs = 2000;

signals:
    void screensChanged();
    void wokeUp();
    void networkReturned();

private slots:
    void prepareForSleep(bool sleeping);

private:
    void watchScreen(QScreen *screen);

    QTimer m_screenSettle;
    QTimer m_networkSettle;
    // Until the system says otherwise the network counts as unreachable, so its first report
    // of being reachable counts as a return.
    bool m_reachable = false;
};

} // namespace velmora
