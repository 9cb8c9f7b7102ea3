// The LXQt backend against a real `pcmanfm-qt --desktop` on Xvfb and a private session bus:
// the settings file it saves, and the pixels its desktop window shows.
#include "DesktopTestSupport.h"

#include "platform/linux/PcmanfmDesktop.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QThread>

using namespace velmora;
using velmora::platform::PcmanfmDesktop;
using velmora::platform::PcmanfmProgram;

namespace {

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

        // The desktop repaints on its own time. Fitted, the bands must be in the fill colour,
        // not pcmanfm-qt's own black.
        QImage screen;
        testing::AssertionResult painted = testing::AssertionFailure();
        for (int i = 0; i < 50 && !(painted = test::showsPicture(screen = test::rootImage(display),
                                              {QRect(QPoint(), screenSize)}, picture, fill));
             ++i)
            QThread::msleep(100);
        EXPECT_TRUE(painted);
        test::saveScreenshot(screen, QStringLiteral("lxqt-%1").arg(fill ? "fill" : "fit"));
    }
    desktopProcess.terminate();
    desktopProcess.waitForFinished(5000);
}

} // namespace
