// The stand-in tray panel must look to Qt like a real one, or a tray application under test
// silently falls back to an X11 icon and its menu can never be read.
#include "support/StatusNotifierHost.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

using velmora::test::StatusNotifierHost;

namespace {

// dbus-send's answer, with the event loop turning meanwhile so the host can answer.
QString busCall(const StatusNotifierHost &host, const QStringList &arguments) {
    QProcess process;
    process.setProcessEnvironment(host.environment());
    process.start(QStringLiteral("dbus-send"),
                  QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply"),
                              QStringLiteral("--dest=org.kde.StatusNotifierWatcher"),
                              QStringLiteral("/StatusNotifierWatcher")} +
                      arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(StatusNotifierHost, WatcherAnswersQtsAvailabilityQuestion) {
    StatusNotifierHost host;
    ASSERT_TRUE(host.isRunning()) << host.lastError().toStdString();
    // Qt reads the property through QDBusInterface, which only knows what introspection lists.
    EXPECT_TRUE(
        busCall(host, {QStringLiteral("org.freedesktop.DBus.Introspectable.Introspect")})
            .contains(QLatin1String(
                R"(<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>)")));
    EXPECT_TRUE(busCall(host, {QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                               QStringLiteral("string:org.kde.StatusNotifierWatcher"),
                               QStringLiteral("string:IsStatusNotifierHostRegistered")})
                    .contains(QLatin1String("boolean true")));
}

// An item registers either its bus name or an object path; either way the host finds the bus
// name to talk to, and forgets the item when its application leaves the bus.
TEST(StatusNotifierHost, FindsTheRegisteredItemAndForgetsItWhenItLeaves) {
    for (const bool byPath : {true, false}) {
        StatusNotifierHost host;
        ASSERT_TRUE(host.isRunning()) << host.lastError().toStdString();
        const QString name = QStringLiteral("tray-item-%1").arg(byPath);
        QString service;
        {
            QDBusConnection item = QDBusConnection::connectToBus(host.address(), name);
            const QString wellKnown = QStringLiteral("org.kde.StatusNotifierItem-1-1");
            ASSERT_TRUE(item.registerService(wellKnown));
            service = byPath ? item.baseService() : wellKnown;
            QDBusMessage registration =
                QDBusMessage::createMethodCall(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                               QStringLiteral("/StatusNotifierWatcher"),
                                               QStringLiteral("org.kde.StatusNotifierWatcher"),
                                               QStringLiteral("RegisterStatusNotifierItem"));
            registration << (byPath ? QStringLiteral("/StatusNotifierItem") : wellKnown);
            item.asyncCall(registration);

            EXPECT_EQ(host.waitForItem(5000), service) << host.lastError().toStdString();
        }
        QDBusConnection::disconnectFromBus(name);
        EXPECT_TRUE(host.waitForItemGone(5000)) << byPath;
        EXPECT_TRUE(host.itemService().isEmpty());
    }
}

} // namespace
