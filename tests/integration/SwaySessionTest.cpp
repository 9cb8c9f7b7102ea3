// A sway user's session, on a real headless sway with two outputs of different shapes: what the
// outputs show after a refresh (grim's screenshot), and the tray application on Wayland.
#include "ClientHarness.h"
#include "desktop/DesktopTestSupport.h"
#include "support/HeadlessSway.h"
#include "support/Run.h"
#include "tools/trayhost/StatusNotifierHost.h"

#include "core/ClientPaths.h"
#include "platform/linux/SwayDesktop.h"

#include <QBuffer>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// The outputs as HeadlessSway lays them out, in grim's screenshot.
const std::vector<QRect> kOutputs = {{0, 0, 1280, 720}, {1280, 0, 640, 800}};

class SwaySession : public test::ServiceTest {
protected:
    void SetUp() override {
        if (!test::HeadlessSway::installed())
            GTEST_SKIP() << "sway or grim is not installed (scripts/install-deps.sh installs them)";
        ServiceTest::SetUp();
        ASSERT_FALSE(sway.socket().isEmpty())
            << test::readAll(sway.path(u"sway.log"_s)).toStdString();
    }

    QStringList client(const QStringList &command) const {
        return command + QStringList{u"--server"_s, service->origin(), u"--app-data"_s, data};
    }

    // Today's picture is a JPEG of a landscape; returned as the client decodes it.
    QImage serveToday() const {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        test::landscape(QSize(1200, 900)).save(&buffer, "JPEG", 95);
        service->setTodayWallpaper(u"dawn.jpg"_s, jpeg, u"image/jpeg"_s);
        return QImage::fromData(jpeg).convertToFormat(QImage::Format_RGB32);
    }

    test::HeadlessSway sway;
    QString data = sway.makeUserDirectory(u"home/data"_s);
    // The build tree may sit in a directory only its owner can enter (a clone in mktemp -d's
    // folder): sway's user runs a copy of the client from the session's folder.
    QString program = test::installClient(sway.path(u"client"_s));
};

// The real refresh, as the sway user's login agent runs it; then every placement through the
// backend itself, with file names sway's command parser and wordexp would take apart; then the
// tray application, with no tray to show in.
TEST_F(SwaySession, TheRefreshShowsThePictureNoFileNameBreaksTheCommandAndTheMenuGetsAWindow) {
    const QImage decoded = serveToday();

    // Filled, as the user's settings file says (fitting is the default).
    ASSERT_TRUE(test::writeFile(sway.makeUserDirectory(u"home/.config"_s) +
                                    u"/example.velmora.wallpaper.conf"_s,
                                "[General]\ndisplayMode=fill\n", 0644));
    const QByteArray refreshed = sway.run(program, client({u"--refresh"_s}));
    ASSERT_TRUE(refreshed.startsWith("0 [已设置壁纸：")) << refreshed.toStdString();
    // swaybg draws once it has loaded the picture: a loaded machine may take a while.
    EXPECT_TRUE(test::waitFor(
        [&] { return test::showsPicture(sway.screenshot(), kOutputs, decoded, true); }, 10000));

    const QString pictures = sway.makeUserDirectory(u"home/图片"_s);
    platform::SwayDesktop desktop(sway.socket());
    for (const auto &[name, fill] :
         {std::pair(u"a  b; exec touch injected, output * bg x.png"_s, true),
          {u"$(touch injected) `touch injected` \"q\" 'q' \\n"_s, false},
          {u"晨光 #1 {a,b} * ~ fit.jpg"_s, true}}) {
        const QString file = pictures + u'/' + name;
        ASSERT_TRUE(decoded.save(file, "PNG"));
        QFile::setPermissions(file, QFile::permissions(file) | QFileDevice::ReadOther);
        QString error;
        ASSERT_TRUE(desktop.setDesktopImage(file, {}, test::fitOrFill(fill), &error))
            << error.toStdString();
        QImage shown;
        EXPECT_TRUE(test::waitFor(
            [&] {
                shown = sway.screenshot();
                return test::showsPicture(shown, kOutputs, decoded, fill);
            },
            10000))
            << name.toStdString();
        test::saveScreenshot(shown, fill ? u"sway-fill"_s : u"sway-fit"_s);
    }
    EXPECT_FALSE(QFile::exists(sway.path(u"home/injected"_s)));
    EXPECT_FALSE(QFile::exists(sway.path(u"home/图片/injected"_s)));

    // With no tray host on the session's bus the menu shows in its window instead.
    const auto app = sway.start(program, client({}));
    const auto windows = [&] {
        return sway.run(u"swaymsg"_s, {u"-t"_s, u"get_tree"_s});
    };
    EXPECT_TRUE(
        test::pumpUntil([&] { return windows().contains("\"name\": \"Velmora壁纸\""); }, 30000))
        << windows().toStdString();
    QThread::msleep(500);
    test::saveScreenshot(sway.screenshot(), u"sway-menu-window"_s);
}

// On Wayland the tray item registers with the session's watcher. sway lays out `output *` on an
// output plugged in at run time by itself: the tray application sees the new screen, leaves the
// desktop alone, and asks the service nothing.
TEST_F(SwaySession, APluggedInOutputShowsThePictureWithNoApplyAndNoRequest) {
    const QImage decoded = serveToday();
    const ClientPaths paths(data);
    ASSERT_TRUE(test::writeFile(paths.startupPromptMarker(), "", 0644));

    const QProcessEnvironment environment = sway.environment();
    test::StatusNotifierHost host(environment, true);
    ASSERT_TRUE(host.isRunning()) << host.lastError().toStdString();
    // The bus's own runtime directory is not the session's, where the Wayland socket is.
    QProcessEnvironment withBus = host.environment();
    withBus.insert(u"XDG_RUNTIME_DIR"_s, environment.value(u"XDG_RUNTIME_DIR"_s));
    const auto app = sway.start(program, client({}), withBus, sway.path(u"tray.log"_s));
    EXPECT_FALSE(host.waitForItem(15000).isEmpty())
        << host.lastError().toStdString() << test::readAll(sway.path(u"tray.log"_s)).toStdString();
    EXPECT_EQ(host.toolTip().value_or(test::TrayToolTip{}).title, u"Velmora壁纸"_s);
    ASSERT_TRUE(test::pumpUntil(
        [&] { return bool(test::showsPicture(sway.screenshot(), kOutputs, decoded, false)); },
        30000))
        << test::readAll(sway.path(u"tray.log"_s)).toStdString();
    const qsizetype requests = service->requests().size();

    ASSERT_TRUE(sway.run(u"swaymsg"_s, {u"output HEADLESS-3 resolution 800x600 position 1920 0; "
                                        "create_output"_s})
                    .startsWith("0 "));
    const QString noticed = u"显示器变化：桌面自行调整各显示器的壁纸"_s;
    EXPECT_TRUE(test::pumpUntil([&] {
        return QString::fromUtf8(test::readAll(paths.clientLog())).contains(noticed);
    })) << test::readAll(paths.clientLog()).toStdString();
    std::vector<QRect> outputs = kOutputs;
    outputs.emplace_back(1920, 0, 800, 600);
    EXPECT_TRUE(test::pumpUntil(
        [&] { return bool(test::showsPicture(sway.screenshot(), outputs, decoded, false)); },
        10000))
        << test::showsPicture(sway.screenshot(), outputs, decoded, false).message();
    test::saveScreenshot(sway.screenshot(), u"sway-output-added"_s);
    EXPECT_EQ(service->requests().size(), requests);
    EXPECT_EQ(QString::fromUtf8(test::readAll(paths.clientLog())).count(u"显示器变化"_s), 1);
}

} // namespace
