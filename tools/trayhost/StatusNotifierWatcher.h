#pragma once

#include <QDBusContext>
#include <QObject>
#include <QStringList>

class QDBusConnection;
class QDBusServiceWatcher;

namespace velmora::test {

// The object a desktop panel publishes at /StatusNotifierWatcher. Qt reads
// IsStatusNotifierHostRegistered through the object's introspection data, so the properties must
// be real Q_PROPERTYs exported with the object, not answers to hand-written Get calls.
class StatusNotifierWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit StatusNotifierWatcher(const QDBusConnection &connection, QObject *parent = nullptr);

    // Each item as "<bus name><object path>", the form panels use.
    QStringList registeredItems() const { return m_items; }
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &serviceOrPath);
    void RegisterStatusNotifierHost(const QString &service);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    void forgetService(const QString &service);

    QDBusServiceWatcher *m_owners;
    QStringList m_items;
};

} // namespace velmora::test
