// The LXQt backend against a real `pcmanfm-qt --desktop` on Xvfb and a private session bus:
// the settings file it saves, and the pixels its desktop window shows.
#include "DesktopTestSupport.h"

#include "platform/linux/PcmanfmDesktop.h"

#include <gtest/gtest.h>

#include <QSettings>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::platform::PcmanfmDesktop;
using velmora::platform::PcmanfmProgram;

namespace {

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

        const QSettings settings(bus.configHome() + u"/pcmanfm-qt/default/settings.conf"_s,
                                 QSettings::IniFormat);
        const QString shown = settings.value(u"Desktop/Wallpaper"_s).toString();
        EXPECT_TRUE(shown.startsWith(temp.path(u".lxqt-desktop-"_s))) << shown.toStdString();
        // Only the picture shown now is kept beside the original.
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
