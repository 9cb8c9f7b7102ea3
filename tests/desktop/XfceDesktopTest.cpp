// The Xfce backend against a real xfconfd started by a private session bus, with the property
// groups xfdesktop would have written, read back with xfconf-query and with their types.
#include "DesktopTestSupport.h"

#include "platform/linux/XfceDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

using namespace velmora;
using velmora::platform::Screen;
using velmora::platform::XfceDesktop;

namespace {

// The property as xfconf-query prints it; with a type and value, creates it first.
QByteArray query(const QString &property, const char *type = nullptr, const char *value = nullptr) {
    QStringList arguments = QStringLiteral("-c xfce4-desktop -p").split(u' ') << property;
    if (type)
        arguments << QStringLiteral("-n") << QStringLiteral("-t") << QLatin1String(type)
                  << QStringLiteral("-s") << QLatin1String(value);
    return test::runTool(QStringLiteral("xfconf-query"), arguments).trimmed();
}

// The properties xfdesktop reads of a monitor's workspace.
QList<QByteArray> group(const QString &group) {
    QList<QByteArray> values;
    for (const char *name : {"/last-image", "/image-style", "/color-style", "/rgba1"})
        values << query(group + QLatin1String(name));
    return values;
}

TEST(XfceDesktopTest, SetsEveryWorkspaceOfTheScreensMonitorAndLeavesOthersAlone) {
    if (QStandardPaths::findExecutable(QStringLiteral("xfconf-query")).isEmpty())
        GTEST_SKIP() << "xfconf-query is not installed (scripts/install-deps.sh installs it)";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    const QString a0 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0");
    const QString a1 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace1");
    const QString b0 = QStringLiteral("/backdrop/screen0/monitoreDP-1/workspace0");
    // What xfdesktop leaves after showing a picture on a monitor's workspace.
    for (const QString &path : {a0, a1, b0}) {
        query(path + QStringLiteral("/last-image"), "string", "/usr/share/old.png");
        query(path + QStringLiteral("/image-style"), "int", "2");
    }
    const QList<QByteArray> untouched = group(b0);
    ASSERT_EQ(untouched[1], "2") << "xfconfd is not reachable";

    const QDBusConnection connection =
        QDBusConnection::connectToBus(bus.address(), QStringLiteral("xfce"));
    XfceDesktop desktop(connection);
    const Screen screen{QStringLiteral("HDMI-1"), QRect(0, 0, 1920, 1080)};
    const QString file = QStringLiteral("/home/u/晨光 dawn.jpg");
    for (const auto &[fill, style] : {std::pair(false, "4"), {true, "5"}}) {
        QString error;
        ASSERT_TRUE(desktop.setDesktopImage(file, screen, test::fitOrFill(fill), &error))
            << error.toStdString();
        const QList<QByteArray> expected{
            file.toUtf8(), style, "0",
            "Value is an array with 4 items:\n\n0.055000\n0.120000\n0.160000\n1.000000"};
        EXPECT_EQ(group(a0), expected);
        EXPECT_EQ(group(a1), expected);
        EXPECT_EQ(group(b0), untouched);
    }

    // A monitor plugged in since xfdesktop last wrote gets groups of its own, on both
    // workspaces, instead of showing xfdesktop's default.
    QString error;
    ASSERT_TRUE(desktop.setDesktopImage(file, {QStringLiteral("DP-2"), QRect(1920, 0, 1280, 1024)},
                                        test::fitOrFill(false), &error));
    for (const char *workspace : {"0", "1"})
        EXPECT_EQ(query(QStringLiteral("/backdrop/screen0/monitorDP-2/workspace%1/last-image")
                            .arg(QLatin1String(workspace))),
                  file.toUtf8());

    // xfdesktop ignores a style stored with another type than an integer.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
        QStringLiteral("org.xfce.Xfconf"), QStringLiteral("GetProperty"));
    call << QStringLiteral("xfce4-desktop") << a0 + QStringLiteral("/image-style");
    const QDBusMessage answer = QDBusConnection(connection).call(call);
    EXPECT_EQ(answer.arguments().value(0).value<QDBusVariant>().variant().typeId(), QMetaType::Int);
    QDBusConnection::disconnectFromBus(QStringLiteral("xfce"));
}

} // namespace
