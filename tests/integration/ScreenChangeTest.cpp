// The real executable on a real X server whose screen changes size at run time (RandR, as
// xrandr changes it): the root is painted again at the new size from the cache, once per burst
// of changes, without asking the service.
#include "ClientHarness.h"
#include "support/Server.h"
#include "support/TempDir.h"

#include "platform/linux/DesktopPainting.h"
#include "wallpaper/WallpaperStore.h"

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>

#include <xcb/xcb.h>

using namespace velmora;
using test::pumpUntil;

namespace {

class ScreenChange : public test::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        for (const char *tool : {"xdotool", "xrandr"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
        ASSERT_FALSE(xvfb->address().isEmpty()) << "Xvfb did not start";
        x = xcb_connect(display.constData(), nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    }
    void TearDown() override {
        if (x)
            xcb_disconnect(x);
        ServiceTest::TearDown();
    }

    void run(const QString &program, const QStringList &arguments) {
        test::runOnDisplay(xvfb->address(), program, arguments);
    }
    bool accept(const QString &title) { return test::acceptWindow(xvfb->address(), title); }

    // A property of the root, as its raw bytes.
    QByteArray property(const char *name, xcb_atom_t type) const {
        auto *atom =
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(qstrlen(name)), name), nullptr);
        auto *answer = xcb_get_property_reply(
            x, xcb_get_property(x, 0, root, atom->atom, type, 0, 16384), nullptr);
        const QByteArray bytes(static_cast<const char *>(xcb_get_property_value(answer)),
                               xcb_get_property_value_length(answer));
        std::free(atom);
        std::free(answer);
        return bytes;
    }
    // What the client recorded it painted into the root pixmap, one monitor a line.
    QByteArray painted() const { return property("_VELMORA_WALLPAPER", XCB_ATOM_STRING); }
    // The published root pixmap, whole (windows on the screen do not cover it).
    QImage rootPixmap() const {
        const QByteArray id = property("_XROOTPMAP_ID", XCB_ATOM_PIXMAP);
        if (id.size() != 4)
            return {};
        const xcb_pixmap_t pixmap = *reinterpret_cast<const xcb_pixmap_t *>(id.constData());
        auto *geometry = xcb_get_geometry_reply(x, xcb_get_geometry(x, pixmap), nullptr);
        const QSize size(geometry->width, geometry->height);
        std::free(geometry);
        auto *reply =
            xcb_get_image_reply(x,
                                xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0,
                                              uint16_t(size.width()), uint16_t(size.height()), ~0u),
                                nullptr);
        const QImage image =
            QImage(xcb_get_image_data(reply), size.width(), size.height(), QImage::Format_RGB32)
                .convertToFormat(QImage::Format_RGB888)
                .convertToFormat(QImage::Format_RGB32);
        std::free(reply);
        return image;
    }
    int requests(const QString &path) const {
        int count = 0;
        for (const dev::RecordedRequest &request : service->requests())
            count += request.path == path;
        return count;
    }

    std::unique_ptr<test::Server> xvfb = test::startVirtualDisplay("1920x1080x24");
    QByteArray display = ':' + xvfb->address();
    xcb_connection_t *x = nullptr;
    xcb_window_t root = 0;
    test::TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
};

TEST_F(ScreenChange, TheRootIsPaintedAgainAtItsNewSizeOncePerBurst) {
    QProcess app;
    QProcessEnvironment environment = test::displayEnvironment(xvfb->address());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The first-use question turns the login agent on: a stand-in systemctl agrees.
    const QString bin = temp.path(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin) &&
                test::writeFile(bin + QStringLiteral("/systemctl"), "#!/bin/sh\nexit 0\n", 0755));
    environment.insert(QStringLiteral("PATH"), bin + u':' + environment.value("PATH"));
    app.setProcessEnvironment(environment);
    app.start(QStringLiteral(VELMORA_EXECUTABLE), {QStringLiteral("--server"), service->origin(),
                                                   QStringLiteral("--app-data"), paths.root()});
    ASSERT_TRUE(accept(QStringLiteral("首次使用设置")));
    ASSERT_TRUE(pumpUntil([&] { return painted().contains("\n0,0,1920,1080 "); }));
    const int descriptors = requests(test::kTodayPath);

    // Two sizes in a row, as a monitor being set up goes through them.
    for (const QString &mode :
         {QStringLiteral("1600x900 118.25 1600 1696 1856 2112 900 903 908 934"),
          QStringLiteral("1280x720 74.25 1280 1390 1430 1650 720 725 730 750")}) {
        run(QStringLiteral("xrandr"), QStringList{QStringLiteral("--newmode")} + mode.split(u' '));
        run(QStringLiteral("xrandr"),
            {QStringLiteral("--addmode"), QStringLiteral("screen"), mode.section(u' ', 0, 0)});
    }
    for (const char *mode : {"1600x900", "1280x720"})
        run(QStringLiteral("xrandr"), {QStringLiteral("--output"), QStringLiteral("screen"),
                                       QStringLiteral("--mode"), QLatin1String(mode)});
    ASSERT_TRUE(pumpUntil([&] { return painted().contains("\n0,0,1280,720 "); }))
        << painted().data();

    QImageReader reader(WallpaperStore(paths).lastVerifiedWallpaper()->path);
    reader.setAutoTransform(true);
    platform::DesktopImageOptions fit;
    const QSize size(1280, 720);
    reader.setScaledSize(platform::decodingSize(
        reader.size(), reader.transformation().testFlag(QImageIOHandler::TransformationRotate90),
        size, platform::DesktopPlacement::Fit));
    const QImage shown = rootPixmap();
    EXPECT_EQ(shown,
              platform::paintDesktopImage(reader.read().convertToFormat(QImage::Format_RGB32), size,
                                          {QRect(QPoint(), size)}, fit));
    const QString folder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(folder);
    shown.save(folder + QStringLiteral("/screen-resized-root.png"));
    pumpUntil([] { return false; }, 2000);
    const QString log = QString::fromUtf8(test::readAll(paths.clientLog()));
    EXPECT_EQ(log.count(QStringLiteral("显示器变化")), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("显示器变化，已重新设置上次校验通过的壁纸 date=")));
    EXPECT_EQ(requests(test::kTodayPath), descriptors);
    app.terminate();
    app.waitForFinished(5000);
}

} // namespace
