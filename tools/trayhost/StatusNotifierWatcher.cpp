#include "tools/trayhost/StatusNotifierWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

using namespace Qt::StringLiterals;

namespace velmora::test {

StatusNotifierWatcher::StatusNotifierWatcher(const QDBusConnection &connection, QObject *parent)
    : QObject(parent)
    , m_owners(new QDBusServiceWatcher(QString(), connection,
                                       QDBusServiceWatcher::WatchForUnregistration, this)) {
    connect(m_owners, &QDBusServiceWatcher::serviceUnregistered, this,
            &StatusNotifierWatcher::forgetService);
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString &serviceOrPath) {
    // Some items register an object path and are then known by the caller's unique name.
    const bool isPath = serviceOrPath.startsWith(u'/');
    const QString service = isPath ? message().service() : serviceOrPath;
    const QString item = service + (isPath ? serviceOrPath : u"/StatusNotifierItem"_s);
    if (m_items.contains(item))
        return;
    m_items.append(item);
    m_owners->addWatchedService(service);
    emit StatusNotifierItemRegistered(item);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString &) {
    emit StatusNotifierHostRegistered();
}

void StatusNotifierWatcher::forgetService(const QString &service) {
    m_owners->removeWatchedService(service);
    for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
        if (m_items[i].startsWith(service + u'/')) {
            const QString item = m_items.takeAt(i);
            emit StatusNotifierItemUnregistered(item);
        }
    }
}

} // namespace velmora::test
