// The plain X11 backend against a real X server (Xvfb): what ends up on the root window, in the
// root pixmap properties other programs read, and what survives the setter's disconnection.
#include "DesktopTestSupport.h"

#include "platform/linux/DesktopPainting.h"
#include "platform/linux/X11Desktop.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::platform::Screen;
using velmora::platform::X11Desktop;

namespace {

class X11DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
        ASSERT_FALSE(server->address().isEmpty()) << "Xvfb did not start";
        // 4:3 on a 16:10 root, so fitting leaves bands left and right.
        ASSERT_TRUE(test::landscape(QSize(1200, 900)).save(photo, "JPEG", 92));
    }

    // Sets the picture and returns what the root then shows (RGB32), or the error.
    std::variant<QImage, QString> set(const Screen &screen, bool fill) {
        QString error;
        if (!desktop.setDesktopImage(photo, screen, test::fitOrFill(fill), &error))
            return error;
        return observer.image();
    }

    // What the backend should paint for `screen` from the picture now in the file.
    QImage painted(const Screen &screen, bool fill) const {
        const QSize size = screen.geometry.size();
        return platform::paintDesktopImage(QImage(photo).convertToFormat(QImage::Format_RGB32),
                                           size, {QRect(QPoint(), size)}, test::fitOrFill(fill));
    }

    test::TempDir temp;
    std::unique_ptr<test::Server> server = test::startVirtualDisplay();
    QByteArray display = ':' + server->address();
    QString photo = temp.path(u"风景 photo.jpg"_s);
    X11Desktop desktop{display};
    test::XProbe observer{display}; // a second, independent look at the server
};

TEST_F(X11DesktopTest, PaintsTheRootAndPublishesAPixmapThatOutlivesTheSetter) {
    const Screen whole = desktop.screens().at(0);
    xcb_pixmap_t previous = 0;
    for (const bool fill : {false, true}) {
        EXPECT_EQ(set(whole, fill), (std::variant<QImage, QString>(painted(whole, fill))));
        const xcb_pixmap_t current = observer.pixmap("_XROOTPMAP_ID");
        EXPECT_TRUE(current && current == observer.pixmap("ESETROOT_PMAP_ID") &&
                    !observer.image(current).isNull());
        EXPECT_TRUE(observer.image(previous).isNull()) << "the old pixmap leaked";
        previous = current;
    }
    set(whole, true);
    EXPECT_EQ(observer.pixmap("_XROOTPMAP_ID"), previous)
        << "the same picture again is painted again";

    // As the wallpaper store replaces a file: a new one renamed over it must be painted.
    const QString replacement = temp.path(u"replacement.jpg"_s);
    ASSERT_TRUE(QImage(photo).mirrored(true, false).save(replacement, "JPEG", 92));
    ASSERT_EQ(::rename(QFile::encodeName(replacement), QFile::encodeName(photo)), 0);
    const QImage before = std::get<QImage>(set(whole, false));
    EXPECT_EQ(before, painted(whole, false)) << "the old picture is still shown";

    // Xvfb cannot show two monitors, so a screen covering the left half stands in for one.
    const QImage after = std::get<QImage>(set({u"left"_s, {0, 0, 640, 800}}, true));
    EXPECT_EQ(after.copy(640, 0, 640, 800), before.copy(640, 0, 640, 800));
    EXPECT_EQ(after.copy(0, 0, 640, 800), painted({{}, {0, 0, 640, 800}}, true));
}

} // namespace
