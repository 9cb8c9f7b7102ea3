#include "InstanceClient.h"

#include "InstanceSocketPath.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <thread>

namespace velmora {

namespace {

enum class Attempt { Taken, Retry, GiveUp };

int remainingMs(const QDeadlineTimer &deadline) {
    return int(std::max<qint64>(deadline.remainingTime(), 0));
}

// One connection: the whole message out, the one-byte answer back.
Attempt attempt(const QString &path, const QByteArray &message, const QDeadlineTimer &deadline) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return Attempt::Retry; // not listening yet
    // Never hand a ticket to whatever a link or a planted file leads to.
    if (!S_ISSOCK(info.st_mode))
        return Attempt::GiveUp;

    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(remainingMs(deadline)))
        return Attempt::Retry;
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return Attempt::Retry;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remainingMs(deadline)))
            return Attempt::Retry;
    }
    char answer = 0;
    if (socket.read(&answer, 1) != 1 || answer != InstanceMessage::acknowledgement)
        return Attempt::Retry;
    return Attempt::Taken;
}

} // namespace

bool sendToRunningInstance(const ClientPaths &paths, const InstanceRequest &request,
                           std::chrono::milliseconds deadline) {
    const QByteArray message = InstanceMessage::encode(request);
    if (message.isEmpty())
        return false;
    const QString path = InstanceSocketPath::of(paths);
    const QDeadlineTimer timer(deadline);
    constexpr std::chrono::milliseconds pause(50);
    for (;;) {
        switch (attempt(path, message, timer)) {
        case Attempt::Taken:
            return true;
        case Attempt::GiveUp:
            return false;
        case Attempt::Retry:
            break;
        }
        if (timer.hasExpired())
            return false;
        std::this_thread::sleep_for(
            std::min(pause, std::chrono::milliseconds(timer.remainingTime())));
    }
}

} // namespace velmora
