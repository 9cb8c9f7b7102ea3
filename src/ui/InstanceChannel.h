#pragma once
// Placeholder until the local-socket channel lands.
#include "core/ClientPaths.h"
#include "core/Result.h"

#include <QObject>

#include <chrono>

namespace velmora {

struct InstanceRequest {
    enum class Kind { Raise, OpenTicket };
    Kind kind = Kind::Raise;
    QString ticket;
};

class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(const ClientPaths &, QObject *parent = nullptr)
        : QObject(parent) {}
    Status listen() { return {}; }
signals:
    void raiseRequested();
    void ticketReceived(const QString &ticket);
};

inline bool sendToRunningInstance(const ClientPaths &, const InstanceRequest &,
                                  std::chrono::milliseconds = std::chrono::seconds(2)) {
    return false;
}

} // namespace velmora
