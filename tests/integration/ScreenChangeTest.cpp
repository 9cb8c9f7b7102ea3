// The real executable on a real X server whose screen changes size at run time (RandR, as
// xrandr changes it): the root is painted again at the new size from the cache, once per burst
// of changes, without asking the service.
#include "ClientHarness.h"
#include "desktop/DesktopTestSupport.h"

#include "wallpaper/WallpaperStore.h"

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace velmora;
using test::pumpUntil;

namespace {

class ScreenChange : public test::ExecutableTest {
protected:
    ScreenChange()
        : ExecutableTest("1920x1080x24", {u"xdotool"_s, u"xrandr"_s}) {}

    void xrandr(const QStringList &arguments) {
        test::runOnDisplay(xvfb->address(), u"xrandr"_s, arguments);
    }
    // What the client recorded it painted into the root pixmap, one monitor a line.
    QByteArray painted() const { return x.property("_VELMORA_WALLPAPER", XCB_ATOM_STRING); }
    auto todayRequests() const {
        return std::ranges::count(service->requests(), test::kTodayPath,
                                  &dev::RecordedRequest::path);
    }

    test::XProbe x{':' + xvfb->address()};
};

TEST_F(ScreenChange, TheRootIsPaintedAgainAtItsNewSizeOncePerBurst) {
    // The first-use question turns the login agent on: a stand-in systemctl agrees.
    ASSERT_TRUE(standIn(u"systemctl"_s, "exit 0\n"));
    const std::unique_ptr<QProcess> app = launch();
    ASSERT_TRUE(accept(u"首次使用设置"_s));
    ASSERT_TRUE(pumpUntil([&] { return painted().contains("\n0,0,1920,1080 "); }));
    const auto descriptors = todayRequests();

    // Two sizes in a row, as a monitor being set up goes through them.
    for (const QString &mode : {u"1600x900 118.25 1600 1696 1856 2112 900 903 908 934"_s,
                                u"1280x720 74.25 1280 1390 1430 1650 720 725 730 750"_s}) {
        xrandr(QStringList{u"--newmode"_s} + mode.split(u' '));
        xrandr({u"--addmode"_s, u"screen"_s, mode.section(u' ', 0, 0)});
    }
    for (const char *mode : {"1600x900", "1280x720"})
        xrandr({u"--output"_s, u"screen"_s, u"--mode"_s, QLatin1String(mode)});
    ASSERT_TRUE(pumpUntil([&] { return painted().contains("\n0,0,1280,720 "); }))
        << painted().data();

    // The published root pixmap, whole (windows on the screen do not cover it).
    const QImage shown = x.image(x.pixmap("_XROOTPMAP_ID"));
    EXPECT_TRUE(test::showsPicture(shown, {QRect(0, 0, 1280, 720)},
                                   QImage(WallpaperStore(paths).lastVerifiedWallpaper()->path),
                                   false));
    test::saveScreenshot(shown, u"screen-resized-root"_s);
    pumpUntil([] { return false; }, 2000);
    const QString log = QString::fromUtf8(test::readAll(paths.clientLog()));
    EXPECT_EQ(log.count(u"显示器变化"_s), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(u"显示器变化，已重新设置上次校验通过的壁纸 date="_s));
    EXPECT_EQ(todayRequests(), descriptors);
    app->terminate();
    app->waitForFinished(5000);
}

} // namespace
