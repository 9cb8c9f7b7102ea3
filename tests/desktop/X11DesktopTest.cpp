// The plain X11 backend against a real X server (Xvfb): what ends up on the root window, in the
// root pixmap properties other programs read, and what survives the setter's disconnection.
#include "DesktopTestSupport.h"

#include "platform/linux/DesktopPainting.h"
#include "platform/linux/X11Desktop.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <optional>

using namespace velmora;
using velmora::platform::DesktopImageOptions;
using velmora::platform::Screen;
using velmora::platform::X11Desktop;

namespace {

constexpr QRgb kBand = 0xff0e1f29;

// A second, independent look at the server, as a compositor or another setter would have.
class Observer {
public:
    explicit Observer(const QByteArray &display)
        : m_connection(xcb_connect(display.constData(), nullptr)) {
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    }
    ~Observer() { xcb_disconnect(m_connection); }

    std::optional<xcb_pixmap_t> rootPixmap(const char *property) const {
        auto atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 1, uint16_t(qstrlen(property)), property),
            nullptr);
        if (!atom)
            return std::nullopt;
        auto answer = xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, m_screen->root, atom->atom, XCB_ATOM_PIXMAP, 0, 1),
            nullptr);
        std::free(atom);
        std::optional<xcb_pixmap_t> pixmap;
        if (answer && answer->type == XCB_ATOM_PIXMAP && xcb_get_property_value_length(answer) == 4)
            pixmap = *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(answer));
        std::free(answer);
        return pixmap;
    }

    bool pixmapExists(xcb_pixmap_t pixmap) const {
        auto geometry =
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, pixmap), nullptr);
        std::free(geometry);
        return geometry != nullptr;
    }

    // What the root window shows, as RGB32.
    QImage root() const {
        const int w = m_screen->width_in_pixels, h = m_screen->height_in_pixels;
        auto reply =
            xcb_get_image_reply(m_connection,
                                xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                              m_screen->root, 0, 0, uint16_t(w), uint16_t(h), ~0u),
                                nullptr);
        if (!reply)
            return {};
        // A depth-24 server leaves the fourth byte undefined; the round trip through RGB888
        // makes it opaque.
        const QImage image = QImage(xcb_get_image_data(reply), w, h, w * 4, QImage::Format_RGB32)
                                 .convertToFormat(QImage::Format_RGB888)
                                 .convertToFormat(QImage::Format_RGB32);
        std::free(reply);
        return image;
    }

private:
    xcb_connection_t *m_connection;
    xcb_screen_t *m_screen;
};

class X11DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
        display = std::make_unique<test::VirtualDisplay>();
        ASSERT_TRUE(display->isRunning()) << "Xvfb did not start";
        // 4:3 on a 16:10 root, so fitting leaves bands left and right.
        photo = test::landscape(QSize(1200, 900));
        photoPath = temp.path(QStringLiteral("风景 photo.jpg"));
        ASSERT_TRUE(photo.save(photoPath, "JPEG", 92));
        photo = QImage(photoPath).convertToFormat(QImage::Format_RGB32); // as decoded
    }

    test::TempDir temp;
    std::unique_ptr<test::VirtualDisplay> display;
    QImage photo;
    QString photoPath;
};

TEST_F(X11DesktopTest, FitsThePictureOnTheRootAndPublishesAPixmapThatOutlivesTheSetter) {
    X11Desktop desktop(display->display());
    const std::vector<Screen> screens = desktop.screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].geometry, QRect(0, 0, 1280, 800));

    QString error;
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, screens[0], DesktopImageOptions{}, &error))
        << error.toStdString();

    // The setter has disconnected by now; what is left is the server's.
    const Observer observer(display->display());
    const auto published = observer.rootPixmap("_XROOTPMAP_ID");
    ASSERT_TRUE(published.has_value());
    EXPECT_EQ(observer.rootPixmap("ESETROOT_PMAP_ID"), published);
    EXPECT_TRUE(observer.pixmapExists(*published));

    const QImage root = observer.root();
    const QImage expected = platform::paintDesktopImage(
        photo, QSize(1280, 800), {QRect(0, 0, 1280, 800)}, DesktopImageOptions{});
    ASSERT_EQ(root.size(), expected.size());
    EXPECT_EQ(root.pixel(20, 400), kBand);
    EXPECT_EQ(root.pixel(1260, 400), kBand);
    EXPECT_NE(root.pixel(640, 400), kBand);
    EXPECT_TRUE(root == expected) << "the root differs from the painted picture";
}

TEST_F(X11DesktopTest, RepaintsOnlyForANewPictureFreesTheOldPixmapAndKeepsOtherMonitors) {
    X11Desktop desktop(display->display());
    const Screen whole = desktop.screens().at(0);
    QString error;
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, whole, DesktopImageOptions{}, &error));
    const Observer observer(display->display());
    const xcb_pixmap_t first = observer.rootPixmap("_XROOTPMAP_ID").value();
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, whole, DesktopImageOptions{}, &error));
    EXPECT_EQ(observer.rootPixmap("_XROOTPMAP_ID").value(), first)
        << "the same picture was painted again";

    DesktopImageOptions fill;
    fill.allowClipping = true;
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, whole, fill, &error)) << error.toStdString();
    const xcb_pixmap_t second = observer.rootPixmap("_XROOTPMAP_ID").value();
    EXPECT_NE(second, first);
    EXPECT_FALSE(observer.pixmapExists(first)) << "the previous setter's pixmap leaked";
    EXPECT_NE(observer.root().pixel(20, 400), kBand);

    // The same name with new content is painted again.
    const QString replacement = temp.path(QStringLiteral("replacement.jpg"));
    ASSERT_TRUE(photo.mirrored(true, false).save(replacement));
    ASSERT_TRUE(QFile::remove(photoPath));
    ASSERT_TRUE(QFile::rename(replacement, photoPath));
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, whole, fill, &error));
    const xcb_pixmap_t third = observer.rootPixmap("_XROOTPMAP_ID").value();
    EXPECT_NE(third, second);
    const QImage mirrored = QImage(photoPath).convertToFormat(QImage::Format_RGB32);
    const QImage filled = observer.root();
    EXPECT_TRUE(filled == platform::paintDesktopImage(mirrored, QSize(1280, 800),
                                                      {QRect(0, 0, 1280, 800)}, fill));

    // Xvfb cannot show two monitors, so a screen covering the left half stands in for one.
    const Screen left{QStringLiteral("left"), QRect(0, 0, 640, 800)};
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, left, DesktopImageOptions{}, &error));
    const QImage mixed = observer.root();
    EXPECT_EQ(mixed.copy(640, 0, 640, 800), filled.copy(640, 0, 640, 800))
        << "setting one monitor changed another";
    EXPECT_EQ(mixed.copy(0, 0, 640, 800),
              platform::paintDesktopImage(mirrored, QSize(640, 800), {QRect(0, 0, 640, 800)},
                                          DesktopImageOptions{}));
    EXPECT_FALSE(observer.pixmapExists(third));
}

TEST_F(X11DesktopTest, ReportsFailuresInChinese) {
    X11Desktop desktop(display->display());
    const Screen whole = desktop.screens().at(0);
    QString error;

    const QString broken = temp.path(QStringLiteral("broken.jpg"));
    test::writeFile(broken, "not a picture");
    EXPECT_FALSE(desktop.setDesktopImage(broken, whole, {}, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("无法读取图片文件：") + broken))
        << error.toStdString();

    EXPECT_FALSE(desktop.setDesktopImage(
        photoPath, Screen{QStringLiteral("elsewhere"), QRect(5000, 0, 100, 100)}, {}, &error));
    EXPECT_EQ(error, QStringLiteral("显示器“elsewhere”不在当前桌面范围内。"));

    X11Desktop unreachable(QByteArrayLiteral(":9999"));
    EXPECT_TRUE(unreachable.screens().empty());
    EXPECT_FALSE(unreachable.setDesktopImage(photoPath, whole, {}, &error));
    EXPECT_EQ(error, QStringLiteral("无法连接到 X 显示服务器“:9999”。"));
}

} // namespace
