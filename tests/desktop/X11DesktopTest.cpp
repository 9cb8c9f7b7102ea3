// The plain X11 backend against a real X server (Xvfb): what ends up on the root window, in the
// root pixmap properties other programs read, and what survives the setter's disconnection.
#include "DesktopTestSupport.h"

#include "platform/linux/DesktopPainting.h"
#include "platform/linux/X11Desktop.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

using namespace velmora;
using velmora::platform::DesktopImageOptions;
using velmora::platform::Screen;
using velmora::platform::X11Desktop;

namespace {

template <typename Reply> auto owned(Reply *reply) {
    return std::unique_ptr<Reply, void (*)(void *)>(reply, std::free);
}

// A second, independent look at the server, as a compositor or another setter would have.
class Observer {
public:
    explicit Observer(const QByteArray &display)
        : m_connection(xcb_connect(display.constData(), nullptr))
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root) {}
    ~Observer() { xcb_disconnect(m_connection); }

    // The pixmap a root property names, or 0.
    xcb_pixmap_t rootPixmap(const char *property) const {
        const auto atom = owned(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 1, uint16_t(qstrlen(property)), property),
            nullptr));
        const auto answer = owned(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, m_root, atom ? atom->atom : 0, XCB_ATOM_PIXMAP, 0, 1),
            nullptr));
        return answer && xcb_get_property_value_length(answer.get()) == 4
                   ? *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(answer.get()))
                   : 0;
    }

    bool pixmapExists(xcb_pixmap_t pixmap) const {
        return owned(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, pixmap),
                                            nullptr)) != nullptr;
    }

    // What the root window shows, as RGB32. A depth-24 server leaves the fourth byte undefined;
    // the round trip through RGB888 makes it opaque.
    QImage root() const {
        const auto reply = owned(xcb_get_image_reply(
            m_connection,
            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, 0, 0, 1280, 800, ~0u),
            nullptr));
        return reply ? QImage(xcb_get_image_data(reply.get()), 1280, 800, 1280 * 4,
                              QImage::Format_RGB32)
                           .convertToFormat(QImage::Format_RGB888)
                           .convertToFormat(QImage::Format_RGB32)
                     : QImage();
    }

private:
    xcb_connection_t *m_connection;
    xcb_window_t m_root;
};

class X11DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
        ASSERT_FALSE(server->address().isEmpty()) << "Xvfb did not start";
        // 4:3 on a 16:10 root, so fitting leaves bands left and right.
        ASSERT_TRUE(test::landscape(QSize(1200, 900)).save(photoPath, "JPEG", 92));
        fill.allowClipping = true;
    }

    // What the backend should have painted for `screen` from the picture now in the file.
    QImage painted(const QRect &screen, const DesktopImageOptions &options) const {
        return platform::paintDesktopImage(QImage(photoPath).convertToFormat(QImage::Format_RGB32),
                                           screen.size(), {QRect(QPoint(), screen.size())},
                                           options);
    }

    test::TempDir temp;
    std::unique_ptr<test::Server> server = test::startVirtualDisplay();
    QByteArray display = ':' + server->address();
    QString photoPath = temp.path(QStringLiteral("风景 photo.jpg"));
    X11Desktop desktop{display};
    DesktopImageOptions fit, fill;
    QString error;
};

TEST_F(X11DesktopTest, PaintsTheRootAndPublishesAPixmapThatOutlivesTheSetter) {
    const std::vector<Screen> screens = desktop.screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].geometry, QRect(0, 0, 1280, 800));

    const Observer observer(display);
    xcb_pixmap_t previous = 0;
    for (const DesktopImageOptions &options : {fit, fill}) {
        ASSERT_TRUE(desktop.setDesktopImage(photoPath, screens[0], options, &error))
            << error.toStdString();
        const xcb_pixmap_t published = observer.rootPixmap("_XROOTPMAP_ID");
        EXPECT_EQ(observer.rootPixmap("ESETROOT_PMAP_ID"), published);
        EXPECT_TRUE(observer.pixmapExists(published));
        EXPECT_FALSE(previous && observer.pixmapExists(previous)) << "the old pixmap leaked";
        EXPECT_TRUE(observer.root() == painted(screens[0].geometry, options))
            << "the root differs from the painted picture";
        previous = published;
    }
    // The same picture again is left as it is.
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, screens[0], fill, &error));
    EXPECT_EQ(observer.rootPixmap("_XROOTPMAP_ID"), previous);
}

// Xvfb cannot show two monitors, so a screen covering the left half stands in for one.
TEST_F(X11DesktopTest, ANewPictureUnderTheSameNameIsPaintedAndOtherMonitorsAreKept) {
    const Screen whole = desktop.screens().at(0);
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, whole, fit, &error));
    const Observer observer(display);
    // As the wallpaper store replaces a file: a new one renamed over it.
    const QString replacement = temp.path(QStringLiteral("replacement.jpg"));
    ASSERT_TRUE(QImage(photoPath).mirrored(true, false).save(replacement, "JPEG", 92));
    ASSERT_EQ(::rename(QFile::encodeName(replacement), QFile::encodeName(photoPath)), 0);
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, whole, fit, &error));
    const QImage before = observer.root();
    EXPECT_TRUE(before == painted(whole.geometry, fit)) << "the old picture is still shown";

    const Screen left{QStringLiteral("left"), QRect(0, 0, 640, 800)};
    ASSERT_TRUE(desktop.setDesktopImage(photoPath, left, fill, &error));
    const QImage after = observer.root();
    EXPECT_EQ(after.copy(640, 0, 640, 800), before.copy(640, 0, 640, 800))
        << "setting one monitor changed another";
    EXPECT_EQ(after.copy(0, 0, 640, 800), painted(left.geometry, fill));
}

TEST_F(X11DesktopTest, ReportsFailuresInChinese) {
    const Screen whole = desktop.screens().at(0);
    const QString broken = temp.path(QStringLiteral("broken.jpg"));
    ASSERT_TRUE(test::writeFile(broken, "not a picture"));
    EXPECT_FALSE(desktop.setDesktopImage(broken, whole, fit, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("无法读取图片文件：") + broken))
        << error.toStdString();
    EXPECT_FALSE(X11Desktop(":9999").setDesktopImage(photoPath, whole, fit, &error));
    EXPECT_EQ(error, QStringLiteral("无法连接到 X 显示服务器“:9999”。"));
}

} // namespace
