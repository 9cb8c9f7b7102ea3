// The Xfce backend against a real xfdesktop on Xvfb and its xfconfd on a private session bus:
// xfdesktop's window is what the screenshot shows (a value of a type xfdesktop does not read
// would leave its old picture there), and the property groups of the monitor's other workspaces
// and of other monitors are read back with xfconf-query.
#include "DesktopTestSupport.h"

#include "platform/linux/XfceDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::platform::Screen;
using velmora::platform::XfceDesktop;

namespace {

// The property as xfconf-query prints it; with a type and value, creates it first.
QByteArray query(const QString &property, const char *type = nullptr, const char *value = nullptr) {
    QStringList arguments = u"-c xfce4-desktop -p"_s.split(u' ') << property;
    if (type)
        arguments << u"-n"_s << u"-t"_s << QLatin1String(type) << u"-s"_s << QLatin1String(value);
    return test::runTool(u"xfconf-query"_s, arguments).trimmed();
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
    query(u"/desktop-icons/style"_s, "int", "0"); // no icons over the picture
    QProcess xfdesktop;
    xfdesktop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xfdesktop.start(u"xfdesktop"_s, {u"--disable-wm-check"_s});
    // xfdesktop writes its monitor's group once it has drawn it (Xvfb's monitor is "screen").
    const QString own = u"/backdrop/screen0/monitorscreen/workspace"_s;
    test::waitFor([&] { return !query(own + u"0/last-image"_s).isEmpty(); }, 20000);
    // What xfdesktop leaves after showing a picture on a second workspace and on another monitor.
    const QString other = u"/backdrop/screen0/monitoreDP-1/workspace0"_s;
    for (const QString &path : {own + u'1', other})
        query(path + u"/last-image"_s, "string", "/usr/share/old.png");
    const QList<QByteArray> untouched = group(other);

    const test::TempDir temp;
    const QString file = temp.path(u"风景.png"_s);
    const QImage picture = test::landscape(QSize(1200, 900));
    ASSERT_TRUE(picture.save(file));
    XfceDesktop desktop(QDBusConnection::connectToBus(bus.address(), u"xfce"_s));
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
    test::saveScreenshot(x.image(), u"xfdesktop-fill"_s);
    QDBusConnection::disconnectFromBus(u"xfce"_s);
    xfdesktop.terminate();
    xfdesktop.waitForFinished(3000);
}

} // namespace
