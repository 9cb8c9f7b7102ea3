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
using velmora::platform::Screen;
using velmora::platform::X11Desktop;

namespace {

template <typename Reply> auto owned(Reply *reply) {
    return std::unique_ptr<Reply, void (*)(void *)>(reply, std::free);
}

class X11DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
        ASSERT_FALSE(server->address().isEmpty()) << "Xvfb did not start";
        // 4:3 on a 16:10 root, so fitting leaves bands left and right.
        ASSERT_TRUE(test::landscape(QSize(1200, 900)).save(photo, "JPEG", 92));
        // A second, independent look at the server, as a compositor or another setter has.
        observer = xcb_connect(display.constData(), nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(observer)).data->root;
    }
    void TearDown() override {
        if (observer)
            xcb_disconnect(observer);
    }

    // Sets the picture and returns what the root then shows (RGB32), or the error.
    std::variant<QImage, QString> set(const Screen &screen, bool fill) {
        QString error;
        if (!desktop.setDesktopImage(photo, screen, test::fitOrFill(fill), &error))
            return error;
        return test::rootImage(display);
    }

    // What the backend should paint for `screen` from the picture now in the file.
    QImage painted(const Screen &screen, bool fill) const {
        const QSize size = screen.geometry.size();
        return platform::paintDesktopImage(QImage(photo).convertToFormat(QImage::Format_RGB32),
                                           size, {QRect(QPoint(), size)}, test::fitOrFill(fill));
    }

    // The pixmap a root property names, or 0.
    xcb_pixmap_t pixmap(const char *name) const {
        const auto atom = owned(xcb_intern_atom_reply(
            observer, xcb_intern_atom(observer, 1, uint16_t(qstrlen(name)), name), nullptr));
        const auto answer = owned(xcb_get_property_reply(
            observer, xcb_get_property(observer, 0, root, atom->atom, XCB_ATOM_PIXMAP, 0, 1),
            nullptr));
        return xcb_get_property_value_length(answer.get()) == 4
                   ? *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(answer.get()))
                   : 0;
    }
    bool exists(xcb_pixmap_t pixmap) const {
        return owned(xcb_get_geometry_reply(observer, xcb_get_geometry(observer, pixmap),
                                            nullptr)) != nullptr;
    }

    test::TempDir temp;
    std::unique_ptr<test::Server> server = test::startVirtualDisplay();
    QByteArray display = ':' + server->address();
    QString photo = temp.path(QStringLiteral("风景 photo.jpg"));
    X11Desktop desktop{display};
    xcb_connection_t *observer = nullptr;
    xcb_window_t root = 0;
};

TEST_F(X11DesktopTest, PaintsTheRootAndPublishesAPixmapThatOutlivesTheSetter) {
    const Screen whole = desktop.screens().at(0);
    xcb_pixmap_t previous = 0;
    for (const bool fill : {false, true}) {
        EXPECT_EQ(set(whole, fill), (std::variant<QImage, QString>(painted(whole, fill))));
        const xcb_pixmap_t current = pixmap("_XROOTPMAP_ID");
        EXPECT_TRUE(current == pixmap("ESETROOT_PMAP_ID") && exists(current));
        EXPECT_FALSE(previous && exists(previous)) << "the old pixmap leaked";
        previous = current;
    }
    set(whole, true);
    EXPECT_EQ(pixmap("_XROOTPMAP_ID"), previous) << "the same picture again is painted again";

    // As the wallpaper store replaces a file: a new one renamed over it must be painted.
    const QString replacement = temp.path(QStringLiteral("replacement.jpg"));
    ASSERT_TRUE(QImage(photo).mirrored(true, false).save(replacement, "JPEG", 92));
    ASSERT_EQ(::rename(QFile::encodeName(replacement), QFile::encodeName(photo)), 0);
    const QImage before = std::get<QImage>(set(whole, false));
    EXPECT_EQ(before, painted(whole, false)) << "the old picture is still shown";

    // Xvfb cannot show two monitors, so a screen covering the left half stands in for one.
    const QImage after = std::get<QImage>(set({QStringLiteral("left"), {0, 0, 640, 800}}, true));
    EXPECT_EQ(after.copy(640, 0, 640, 800), before.copy(640, 0, 640, 800));
    EXPECT_EQ(after.copy(0, 0, 640, 800), painted({{}, {0, 0, 640, 800}}, true));
}

} // namespace
