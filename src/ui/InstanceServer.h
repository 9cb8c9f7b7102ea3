#pragma once

#include "InstanceMessage.h"
#include "core/ClientLog.h"
#include "core/ClientPaths.h"
#include "core/Result.h"

#include <QObject>
#include <QString>

class QLocalServer;

namespace velmora {

// The running menu-bar application's end of the instance channel: a local socket (see
// InstanceSocketPath for where) on which a second launch hands over what it was asked to do.
// Fully asynchronous: each connection gets one second in total to deliver exactly one message,
// at most eight connections are served at once, and anything malformed is dropped without a
// signal. Only the holder of the InstanceLock may listen: it takes the socket path over, the
// lock is what keeps two listeners apart.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    static constexpr int maximumConnections = 8;
    static constexpr int connectionTimeoutMs = 1000;

    explicit InstanceServer(const ClientPaths &paths, QObject *parent = nullptr);
    ~InstanceServer() override;

    // Starts listening (owner-only socket, 0600). Whatever occupies the path but a directory (a
    // socket, live or not, a file, a symbolic link, which is never followed) is removed first,
    // with one line to `log`. Fails with a ClientError (Chinese sentence) for a directory there
    // or when the socket cannot be made.
    Status listen(const ClientLog &log = {});
    bool isListening() const;
    const QString &socketPath() const { return m_socketPath; }

signals:
    void raiseRequested();
    void ticketReceived(const QString &ticket); // normalised again on arrival; invalid ones dropped

private:
    void acceptPending();
    void deliver(const InstanceRequest &request);

    QString m_socketPath;
    QLocalServer *m_server = nullptr;
    int m_openConnections = 0;
};

} // namespace velmora
