#include "InstanceServer.h"

#include "InstanceSocketPath.h"
#include "platform/SystemError.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

const QString kChannelPrefix = u"无法建立实例通道："_s;

enum class Occupant { Nothing, StaleSocket, LiveSocket, Link, Directory, OtherFile, Unreadable };

struct Probe {
    Occupant occupant = Occupant::Nothing;
    int error = 0;
};

// What is at the socket path now. A socket is tried with a non-blocking connect, which a Unix
// socket answers at once: refused when nobody listens any more, accepted (or "try again" with a
// full backlog) when an instance is there.
Probe probe(const QByteArray &native) {
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return errno == ENOENT ? Probe{} : Probe{Occupant::Unreadable, errno};
    if (S_ISLNK(info.st_mode))
        return {Occupant::Link};
    if (S_ISDIR(info.st_mode))
        return {Occupant::Directory};
    if (!S_ISSOCK(info.st_mode))
        return {Occupant::OtherFile};

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {Occupant::Unreadable, errno};
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int connected =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int connectError = errno;
    ::close(fd);
    if (connected == 0 || connectError == EAGAIN || connectError == EINPROGRESS)
        return {Occupant::LiveSocket};
    if (connectError == ECONNREFUSED)
        return {Occupant::StaleSocket};
    if (connectError == ENOENT)
        return {};
    return {Occupant::Unreadable, connectError};
}

// The bytes one connection has sent so far, and whether its request has been taken.
struct ConnectionState {
    QByteArray received;
    bool answered = false;
};

} // namespace

InstanceServer::InstanceServer(const ClientPaths &paths, QObject *parent)
    : QObject(parent)
    , m_socketPath(InstanceSocketPath::of(paths))
    , m_server(new QLocalServer(this)) {
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::acceptPending);
}

// The QLocalServer removes its socket file when it closes, so a cleanly ended instance leaves
// nothing behind.
InstanceServer::~InstanceServer() = default;

bool InstanceServer::isListening() const {
    return m_server->isListening();
}

Status InstanceServer::listen(const ClientLog &log) {
    if (m_server->isListening())
        return {};
    const QByteArray native = QFile::encodeName(m_socketPath);
    if (native.size() > InstanceSocketPath::maximumAddressLength)
        return ClientError::fileSystem(kChannelPrefix + u"路径过长："_s + m_socketPath);
    if (Status prepared = InstanceSocketPath::prepareDirectory(m_socketPath); !prepared)
        return wrapFileSystemError(kChannelPrefix, prepared.error());

    // The holder of the instance lock owns the path: whatever else stands there (a crashed
    // instance's socket, another program's, a planted file or link) would leave the channel
    // dead, so it goes, a link itself and never what it leads to. A directory is not removed.
    const Probe found = probe(native);
    QString replaced;
    switch (found.occupant) {
    case Occupant::Nothing:
        break;
    case Occupant::Directory:
        return ClientError::fileSystem(kChannelPrefix + m_socketPath + u"已被目录占用。"_s);
    case Occupant::Unreadable:
        return ClientError::fileSystem(kChannelPrefix +
                                       platform::describeSystemError(found.error, m_socketPath));
    case Occupant::StaleSocket:
        replaced = u"残留的套接字"_s;
        break;
    case Occupant::LiveSocket:
        replaced = u"其他程序的套接字"_s;
        break;
    case Occupant::Link:
        replaced = u"符号链接"_s;
        break;
    case Occupant::OtherFile:
        replaced = u"文件"_s;
        break;
    }
    if (!replaced.isEmpty()) {
        if (::unlink(native.constData()) != 0 && errno != ENOENT)
            return ClientError::fileSystem(kChannelPrefix +
                                           platform::describeSystemError(errno, m_socketPath));
        if (log)
            log(u"已移除实例通道位置上的"_s + replaced + u"："_s + m_socketPath);
    }

    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath))
        return ClientError::fileSystem(kChannelPrefix + m_socketPath);
    // Qt leaves the socket 0700; nothing needs to execute it. The directory is ours and closed to
    // others, so nothing can swap the fresh socket for a link before this.
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
        ::chmod(native.constData(), 0600) != 0) {
        const int error = errno;
        m_server->close();
        return ClientError::fileSystem(kChannelPrefix +
                                       platform::describeSystemError(error, m_socketPath));
    }
    return {};
}

void InstanceServer::acceptPending() {
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_openConnections >= maximumConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_openConnections;
        connect(socket, &QObject::destroyed, this, [this] { --m_openConnections; });

        const auto drop = [socket] {
            socket->abort();
            socket->deleteLater();
        };
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, drop);
        deadline->start(connectionTimeoutMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);

        auto state = std::make_shared<ConnectionState>();
        const auto read = [this, socket, state, drop] {
            if (state->answered)
                return;
            // Never more than the longest message and one byte: that byte already proves the
            // peer wrong.
            const qint64 room = InstanceMessage::headerSize + InstanceMessage::maximumPayloadSize +
                                1 - state->received.size();
            state->received.append(socket->read(room));
            const InstanceMessage::Decoded decoded = InstanceMessage::decode(state->received);
            if (decoded.state == InstanceMessage::Decoded::State::Incomplete)
                return;
            if (decoded.state == InstanceMessage::Decoded::State::Invalid)
                return drop();
            state->answered = true;
            socket->write(&InstanceMessage::acknowledgement, 1);
            socket->disconnectFromServer();
            deliver(decoded.request);
        };
        connect(socket, &QLocalSocket::readyRead, socket, read);
        if (socket->bytesAvailable() > 0)
            read();
    }
}

// Posted, so that whatever a receiver does (even deleting this server) happens after the
// connection's own handler has returned.
void InstanceServer::deliver(const InstanceRequest &request) {
    QMetaObject::invokeMethod(
        this,
        [this, request] {
            if (request.kind == InstanceRequest::Kind::Raise)
                emit raiseRequested();
            else
                emit ticketReceived(request.ticket);
        },
        Qt::QueuedConnection);
}

} // namespace velmora
