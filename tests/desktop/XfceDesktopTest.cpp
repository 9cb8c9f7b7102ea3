// The Xfce backend against a real xfdesktop on Xvfb and its xfconfd on a private session bus:
// xfdesktop's window is what the screenshot shows (a value of a type xfdesktop does not read
// would leave its old picture there), and the property groups of the monitor's other workspaces
// and of other monitors are read back with xfconf-query.
#include "DesktopTestSupport.h"

#include "platform/linux/XfceDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>

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

TEST(XfceDesktopTest, XfdesktopShowsThePictureAndEveryWorkspaceOfItsMonitorGetsIt) {
    for (const char *tool : {"xfdesktop", "xfconf-query", "Xvfb"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    const std::unique_ptr<test::Server> xvfb = test::startVirtualDisplay("1280x800x24");
    qputenv("DISPLAY", ':' + xvfb->address());
    const test::XProbe x(qgetenv("DISPLAY"));
    query(QStringLiteral("/desktop-icons/style"), "int", "0"); // no icons over the picture
    QProcess xfdesktop;
    xfdesktop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xfdesktop.start(QStringLiteral("xfdesktop"), {QStringLiteral("--disable-wm-check")});
    // xfdesktop writes its monitor's group once it has drawn it (Xvfb's monitor is "screen").
    const QString own = QStringLiteral("/backdrop/screen0/monitorscreen/workspace");
    test::waitFor([&] { return !query(own + QStringLiteral("0/last-image")).isEmpty(); }, 20000);
    // What xfdesktop leaves after showing a picture on a second workspace and on another monitor.
    const QString other = QStringLiteral("/backdrop/screen0/monitoreDP-1/workspace0");
    for (const QString &path : {own + u'1', other})
        query(path + QStringLiteral("/last-image"), "string", "/usr/share/old.png");
    const QList<QByteArray> untouched = group(other);

    const test::TempDir temp;
    const QString file = temp.path(QStringLiteral("风景.png"));
    const QImage picture = test::landscape(QSize(1200, 900));
    ASSERT_TRUE(picture.save(file));
    XfceDesktop desktop(QDBusConnection::connectToBus(bus.address(), QStringLiteral("xfce")));
    const std::vector<Screen> screens = desktop.screens();
    ASSERT_EQ(screens.size(), 1u);
    for (const bool fill : {false, true}) {
        QString error;
        ASSERT_TRUE(desktop.setDesktopImage(file, screens[0], test::fitOrFill(fill), &error))
            << error.toStdString();
        // xfdesktop loads and scales the picture in the background.
        EXPECT_TRUE(test::waitFor(
            [&] { return test::showsPicture(x.image(), {screens[0].geometry}, picture, fill); },
            10000));
        EXPECT_EQ(group(own + u'1'), group(own + u'0'));
        EXPECT_EQ(group(other), untouched);
    }
    test::saveScreenshot(x.image(), QStringLiteral("xfdesktop-fill"));
    QDBusConnection::disconnectFromBus(QStringLiteral("xfce"));
    xfdesktop.terminate();
    xfdesktop.waitForFinished(3000);
}

} // namespace
