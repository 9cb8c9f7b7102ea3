#include "MainLoop.h"

#include <QCoreApplication>
#include <QTimer>

namespace velmora {

void runMainLoopUntil(const std::function<bool()> &done) {
    // The ticking timer wakes the loop at least every 100 ms, so `done` is asked again even
    // when the event that satisfied it was handled without waking the wait.
    QTimer tick;
    tick.start(100);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace velmora
