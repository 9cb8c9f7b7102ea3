// The LXQt backend against a real `pcmanfm-qt --desktop` on Xvfb and a private session bus:
// the settings file it saves, and the pixels its desktop window shows.
#include "DesktopTestSupport.h"

#include "platform/linux/PcmanfmDesktop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace velmora;
using velmora::platform::PcmanfmDesktop;
using velmora::platform::PcmanfmProgram;

namespace {

// What the screen shows, desktop window included.
QImage screenshot(const QByteArray &display, const QSize &size) {
    xcb_connection_t *x = xcb_connect(display.constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    xcb_get_image_reply_t *reply =
        xcb_get_image_reply(x,
                            xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, root, 0, 0,
                                          uint16_t(size.width()), uint16_t(size.height()), ~0u),
                            nullptr);
    QImage image;
    if (reply)
        image = QImage(xcb_get_image_data(reply), size.width(), size.height(), QImage::Format_RGB32)
                    .convertToFormat(QImage::Format_RGB888);
    std::free(reply);
    xcb_disconnect(x);
    return image;
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           30;
}

TEST(PcmanfmDesktopTest, TheRunningLxqtDesktopShowsThePictureFittedOverTheBandColourOrFilled) {
    if (QStandardPaths::findExecutable(QStringLiteral("pcmanfm-qt")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "pcmanfm-qt or Xvfb is not installed (scripts/install-deps.sh)";
    const auto xvfb = test::startVirtualDisplay("800x600x24");
    ASSERT_FALSE(xvfb->address().isEmpty()) << "Xvfb did not start";
    const QByteArray display = ':' + xvfb->address();
    qputenv("DISPLAY", display);
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";

    // Not running yet: not available, so the selection never hands it a picture.
    EXPECT_FALSE(PcmanfmDesktop::available(PcmanfmProgram::lxqt));
    QProcess desktopProcess;
    desktopProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    desktopProcess.start(QStringLiteral("pcmanfm-qt"), {QStringLiteral("--desktop")});
    for (int i = 0; i < 100 && !PcmanfmDesktop::available(PcmanfmProgram::lxqt); ++i)
        QThread::msleep(100);
    ASSERT_TRUE(PcmanfmDesktop::available(PcmanfmProgram::lxqt));

    // 8:3 on a 4:3 screen: fitted, bands above and below; filled, the sides cut off.
    test::TempDir temp;
    const QString file = temp.path(QStringLiteral("晨光 1.png"));
    const QImage picture = test::landscape(QSize(640, 240));
    ASSERT_TRUE(picture.save(file));
    const QSize screenSize(800, 600);
    for (const bool fill : {false, true}) {
        PcmanfmDesktop desktop(PcmanfmProgram::lxqt);
        QString error;
        for (const auto &screen : desktop.screens())
            ASSERT_TRUE(desktop.setDesktopImage(file, screen, test::fitOrFill(fill), &error))
                << error.toStdString();

        const QSettings settings(bus.configHome() +
                                     QStringLiteral("/pcmanfm-qt/default/settings.conf"),
                                 QSettings::IniFormat);
        const QString shown = settings.value(QStringLiteral("Desktop/Wallpaper")).toString();
        EXPECT_TRUE(shown.startsWith(temp.path(QStringLiteral(".lxqt-desktop-"))))
            << shown.toStdString();
        // Only the picture shown now is kept beside the original.
        EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        QImage screen;
        for (int i = 0; i < 50; ++i) { // the desktop repaints on its own time
            QThread::msleep(100);
            screen = screenshot(display, screenSize);
            if (near(screen.pixelColor(400, 10),
                     fill ? picture.pixelColor(160, 0) : QColor(0x0e, 0x1f, 0x29)))
                break;
        }
        const QString shots =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
        QDir().mkpath(shots);
        screen.save(shots + QStringLiteral("/lxqt-%1.png").arg(fill ? "fill" : "fit"));
        if (!fill) {
            // Scaled by 1.25 to 800×300, from y = 150: bands in the fill colour, not pcmanfm-qt's
            // own black.
            EXPECT_TRUE(near(screen.pixelColor(400, 10), QColor(0x0e, 0x1f, 0x29)));
            EXPECT_TRUE(near(screen.pixelColor(400, 590), QColor(0x0e, 0x1f, 0x29)));
            EXPECT_TRUE(near(screen.pixelColor(400, 300), picture.pixelColor(320, 120)));
        } else {
            // Scaled by 2.5 to 1600×600, 400 cut off on each side.
            EXPECT_TRUE(near(screen.pixelColor(0, 0), picture.pixelColor(160, 0)));
            EXPECT_TRUE(near(screen.pixelColor(799, 599), picture.pixelColor(479, 239)));
        }
    }
    desktopProcess.terminate();
    desktopProcess.waitForFinished(5000);
}

} // namespace
