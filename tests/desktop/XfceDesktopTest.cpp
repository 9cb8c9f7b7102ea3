// The Xfce backend against a real xfconfd started by a private session bus, with the property
// groups xfdesktop would have written, read back with xfconf-query and with their types.
#include "DesktopTestSupport.h"

#include "platform/linux/XfceDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

using namespace velmora;
using velmora::platform::DesktopImageOptions;
using velmora::platform::Screen;
using velmora::platform::XfceDesktop;

namespace {

// The property as xfconf-query prints it; with a type and value, creates it first.
QByteArray query(const QString &property, const char *type = nullptr, const char *value = nullptr) {
    QStringList arguments{QStringLiteral("-c"), QStringLiteral("xfce4-desktop"),
                          QStringLiteral("-p"), property};
    if (type)
        arguments << QStringLiteral("-n") << QStringLiteral("-t") << QLatin1String(type)
                  << QStringLiteral("-s") << QLatin1String(value);
    return test::runTool(QStringLiteral("xfconf-query"), arguments).trimmed();
}

TEST(XfceDesktopTest, SetsEveryWorkspaceOfTheScreensMonitorAndLeavesOthersAlone) {
    if (QStandardPaths::findExecutable(QStringLiteral("xfconf-query")).isEmpty())
        GTEST_SKIP() << "xfconf-query is not installed (scripts/install-deps.sh installs it)";
    const test::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon did not start";
    const QString a0 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0");
    const QString a1 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace1");
    const QString b0 = QStringLiteral("/backdrop/screen0/monitoreDP-1/workspace0");
    // What xfdesktop leaves after showing a picture on a monitor's workspace.
    for (const QString &group : {a0, a1, b0}) {
        query(group + QStringLiteral("/last-image"), "string", "/usr/share/old.png");
        query(group + QStringLiteral("/image-style"), "int", "2");
    }
    ASSERT_EQ(query(b0 + QStringLiteral("/image-style")), "2") << "xfconfd is not reachable";

    const QDBusConnection connection =
        QDBusConnection::connectToBus(bus.address(), QStringLiteral("xfce"));
    XfceDesktop desktop(connection);
    const Screen screen{QStringLiteral("HDMI-1"), QRect(0, 0, 1920, 1080)};
    QString error;
    ASSERT_TRUE(desktop.setDesktopImage(QStringLiteral("/home/u/晨光 dawn.jpg"), screen,
                                        DesktopImageOptions{}, &error))
        << error.toStdString();
    for (const QString &group : {a0, a1}) {
        EXPECT_EQ(query(group + QStringLiteral("/last-image")),
                  QStringLiteral("/home/u/晨光 dawn.jpg").toUtf8());
        EXPECT_EQ(query(group + QStringLiteral("/image-style")), "4");
        EXPECT_EQ(query(group + QStringLiteral("/color-style")), "0");
        EXPECT_EQ(query(group + QStringLiteral("/rgba1")),
                  "Value is an array with 4 items:\n\n0.055000\n0.120000\n0.160000\n1.000000");
    }
    EXPECT_EQ(query(b0 + QStringLiteral("/last-image")), "/usr/share/old.png");

    // xfdesktop ignores a style stored with another type than an integer.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
        QStringLiteral("org.xfce.Xfconf"), QStringLiteral("GetProperty"));
    call << QStringLiteral("xfce4-desktop") << a0 + QStringLiteral("/image-style");
    const QDBusMessage answer = QDBusConnection(connection).call(call);
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(answer.arguments().at(0).value<QDBusVariant>().variant().typeId(), QMetaType::Int);

    DesktopImageOptions fill;
    fill.allowClipping = true;
    ASSERT_TRUE(desktop.setDesktopImage(QStringLiteral("/home/u/dawn.jpg"), screen, fill, &error));
    EXPECT_EQ(query(a1 + QStringLiteral("/image-style")), "5");
    QDBusConnection::disconnectFromBus(QStringLiteral("xfce"));
}

} // namespace
