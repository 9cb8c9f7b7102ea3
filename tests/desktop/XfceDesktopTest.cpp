// The Xfce backend against a real xfconfd started by a private session bus, with the property
// groups xfdesktop would have written, read back with xfconf-query; and against a real
// xfdesktop on Xvfb, whose window is what the screenshot shows (a value of a type xfdesktop does
// not read would leave its old picture there).
#include "DesktopTestSupport.h"

#include "platform/linux/XfceDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QThread>

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

    QDBusConnection::disconnectFromBus(QStringLiteral("xfce"));
}

TEST(XfceDesktopTest, XfdesktopShowsThePictureFittedAndFilled) {
    for (const char *tool : {"xfdesktop", "xfconf-query", "Xvfb"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    const std::unique_ptr<test::Server> xvfb = test::startVirtualDisplay("1280x800x24");
    const QByteArray display = ':' + xvfb->address();
    qputenv("DISPLAY", display);
    query(QStringLiteral("/desktop-icons/style"), "int", "0"); // no icons over the picture
    QProcess xfdesktop;
    xfdesktop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xfdesktop.start(QStringLiteral("xfdesktop"), {QStringLiteral("--disable-wm-check")});
    // xfdesktop writes its monitor's group once it has drawn it.
    const QDeadlineTimer started(20000);
    while (!test::runTool(QStringLiteral("xfconf-query"),
                          QStringLiteral("-c xfce4-desktop -l").split(u' '))
                .contains("/last-image") &&
           !started.hasExpired())
        QThread::msleep(200);

    const test::TempDir temp;
    const QString file = temp.path(QStringLiteral("风景.png"));
    const QImage picture = test::landscape(QSize(1200, 900));
    ASSERT_TRUE(picture.save(file));
    const QDBusConnection connection =
        QDBusConnection::connectToBus(bus.address(), QStringLiteral("xfce"));
    XfceDesktop desktop(connection);
    const std::vector<Screen> screens = desktop.screens();
    ASSERT_EQ(screens.size(), 1u);
    for (const bool fill : {false, true}) {
        QString error;
        ASSERT_TRUE(desktop.setDesktopImage(file, screens[0], test::fitOrFill(fill), &error))
            << error.toStdString();
        // xfdesktop loads and scales the picture in the background.
        const QDeadlineTimer drawn(10000);
        testing::AssertionResult shown = testing::AssertionFailure();
        while (!(shown = test::showsPicture(test::rootImage(display), {screens[0].geometry},
                                            picture, fill)) &&
               !drawn.hasExpired())
            QThread::msleep(250);
        EXPECT_TRUE(shown);
    }
    test::saveScreenshot(test::rootImage(display), QStringLiteral("xfdesktop-fill"));
    QDBusConnection::disconnectFromBus(QStringLiteral("xfce"));
    xfdesktop.terminate();
    xfdesktop.waitForFinished(3000);
}

} // namespace
