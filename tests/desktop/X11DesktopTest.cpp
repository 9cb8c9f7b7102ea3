// The backends whose picture shows on an X display (Xvfb), each against the real program:
//
// The plain X11 backend: what ends up on the root window, in the root pixmap properties other
// programs read, and what survives the setter's disconnection.
//
// The Xfce backend, with a real xfdesktop and its xfconfd on a private session bus: xfdesktop's
// window is what the screenshot shows (a value of a type xfdesktop does not read would leave its
// old picture there), and the property groups of the monitor's other workspaces and of other
// monitors are read back with xfconf-query.
//
// The LXQt backend, with a real `pcmanfm-qt --desktop` and a private session bus: the settings
// file it saves, and the pixels its desktop window shows.
#include "DesktopTestSupport.h"

#include "platform/linux/PcmanfmDesktop.h"
#include "platform/linux/X11Desktop.h"
#include "platform/linux/XfceDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::platform::PcmanfmDesktop;
using velmora::platform::PcmanfmProgram;
using velmora::platform::Screen;
using velmora::platform::X11Desktop;
using velmora::platform::XfceDesktop;

namespace {

TEST(X11DesktopTest, PaintsTheRootAndPublishesAPixmapThatOutlivesTheSetter) {
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    const auto server = test::startVirtualDisplay();
    ASSERT_FALSE(server->address().isEmpty()) << "Xvfb did not start";
    const QByteArray display = ':' + server->address();
    X11Desktop desktop(display);
    const test::XProbe observer(display); // a second, independent look at the server
    const test::TempDir temp;
    // 4:3 on a 16:10 root, so fitting leaves bands left and right.
    const QString photo = temp.path(u"风景 photo.jpg"_s);
    ASSERT_TRUE(test::landscape(QSize(1200, 900)).save(photo, "JPEG", 92));

    // Sets the picture and returns what the root then shows (RGB32).
    const auto set = [&](const Screen &screen, bool fill) {
        QString error;
        EXPECT_TRUE(desktop.setDesktopImage(photo, screen, test::fitOrFill(fill), &error))
            << error.toStdString();
        return observer.image();
    };
    // What the backend should paint on `monitor` from the picture now in the file.
    const auto painted = [&](const QRect &monitor, bool fill) {
        return platform::paintDesktopImage(QImage(photo).convertToFormat(QImage::Format_RGB32),
                                           monitor.size(), {QRect(QPoint(), monitor.size())},
                                           test::fitOrFill(fill));
    };

    const Screen whole = desktop.screens().at(0);
    xcb_pixmap_t previous = 0;
    for (const bool fill : {false, true}) {
        EXPECT_EQ(set(whole, fill), painted(whole.geometry, fill));
        const xcb_pixmap_t current = observer.pixmap("_XROOTPMAP_ID");
        EXPECT_TRUE(current && current == observer.pixmap("ESETROOT_PMAP_ID") &&
                    !observer.image(current).isNull());
        EXPECT_TRUE(observer.image(previous).isNull()) << "the old pixmap leaked";
        previous = current;
    }
    set(whole, true);
    EXPECT_EQ(observer.pixmap("_XROOTPMAP_ID"), previous)
        << "the same picture again is painted again";

    // As the wallpaper store replaces a file: a new one renamed over it must be painted.
    const QString replacement = temp.path(u"replacement.jpg"_s);
    ASSERT_TRUE(QImage(photo).mirrored(true, false).save(replacement, "JPEG", 92));
    ASSERT_EQ(::rename(QFile::encodeName(replacement), QFile::encodeName(photo)), 0);
    const QImage before = set(whole, false);
    EXPECT_EQ(before, painted(whole.geometry, false)) << "the old picture is still shown";

    // Xvfb cannot show two monitors, so a screen covering the left half stands in for one.
    const QImage after = set({u"left"_s, {0, 0, 640, 800}}, true);
    EXPECT_EQ(after.copy(640, 0, 640, 800), before.copy(640, 0, 640, 800));
    EXPECT_EQ(after.copy(0, 0, 640, 800), painted({0, 0, 640, 800}, true));
}

// The property as xfconf-query prints it; with a type and value, creates it first.
QByteArray query(const QString &property, const char *type = nullptr, const char *value = nullptr) {
    QStringList arguments = u"-c xfce4-desktop -p"_s.split(u' ') << property;
    if (type)
        arguments << u"-n"_s << u"-t"_s << QLatin1String(type) << u"-s"_s << QLatin1String(value);
    return test::runToEnd(u"xfconf-query"_s, arguments).out.trimmed();
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
    const Screen screen = desktop.screens().at(0);
    for (const bool fill : {false, true}) {
        QString error;
        ASSERT_TRUE(desktop.setDesktopImage(file, screen, test::fitOrFill(fill), &error))
            << error.toStdString();
        // xfdesktop loads and scales the picture in the background.
        EXPECT_TRUE(test::waitFor(
            [&] { return test::showsPicture(x.image(), {screen.geometry}, picture, fill); },
            10000));
        EXPECT_EQ(group(own + u'1'), group(own + u'0'));
        EXPECT_EQ(group(other), untouched);
    }
    test::saveScreenshot(x.image(), u"xfdesktop-fill"_s);
    QDBusConnection::disconnectFromBus(u"xfce"_s);
    xfdesktop.terminate();
    xfdesktop.waitForFinished(3000);
}

TEST(PcmanfmDesktopTest, TheRunningLxqtDesktopShowsThePictureFittedOverTheBandColourOrFilled) {
    if (QStandardPaths::findExecutable(u"pcmanfm-qt"_s).isEmpty() ||
        QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        GTEST_SKIP() << "pcmanfm-qt or Xvfb is not installed (scripts/install-deps.sh)";
    const auto xvfb = test::startVirtualDisplay("800x600x24");
    ASSERT_FALSE(xvfb->address().isEmpty()) << "Xvfb did not start";
    qputenv("DISPLAY", ':' + xvfb->address());
    const test::XProbe x(qgetenv("DISPLAY"));
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";

    // Not running yet: not available, so the selection never hands it a picture.
    EXPECT_FALSE(PcmanfmDesktop::available(PcmanfmProgram::lxqt));
    QProcess desktopProcess;
    desktopProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    desktopProcess.start(u"pcmanfm-qt"_s, {u"--desktop"_s});
    ASSERT_TRUE(
        test::waitFor([] { return PcmanfmDesktop::available(PcmanfmProgram::lxqt); }, 10000));

    // 8:3 on a 4:3 screen: fitted, bands above and below; filled, the sides cut off.
    test::TempDir temp;
    const QString file = temp.path(u"晨光 1.png"_s);
    const QImage picture = test::landscape(QSize(640, 240));
    ASSERT_TRUE(picture.save(file));
    for (const bool fill : {false, true}) {
        PcmanfmDesktop desktop(PcmanfmProgram::lxqt);
        QString error;
        for (const auto &screen : desktop.screens())
            ASSERT_TRUE(desktop.setDesktopImage(file, screen, test::fitOrFill(fill), &error))
                << error.toStdString();
        // Only the picture shown now is kept beside the original. (That it is the one pcmanfm-qt
        // saved in its settings, the backend itself reads back before it reports success.)
        EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // The desktop repaints on its own time. Fitted, the bands must be in the fill colour,
        // not pcmanfm-qt's own black.
        EXPECT_TRUE(test::waitFor(
            [&] { return test::showsPicture(x.image(), {QRect(0, 0, 800, 600)}, picture, fill); },
            5000));
        test::saveScreenshot(x.image(), u"lxqt-%1"_s.arg(fill ? "fill" : "fit"));
    }
    desktopProcess.terminate();
    desktopProcess.waitForFinished(5000);
}

} // namespace
