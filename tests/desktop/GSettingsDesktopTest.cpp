// The GNOME backend against real GSettings: dconf's service on a private session bus, read back
// by another program (gsettings) the way gnome-shell would see it. The writes happen in a child
// run of this binary: dconf's bus connection ends its process when the bus goes away, and the
// bus has to go when the test ends.
#include "DesktopTestSupport.h"

#include "platform/linux/GnomeDesktop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QUrl>

#include <iostream>

using namespace velmora;
using velmora::platform::GnomeDesktop;

namespace {

// The child run: sets the picture and prints "ok" or the error. Disabled, so it runs only when
// asked for by name.
TEST(GnomeDesktopWriter, DISABLED_SetPicture) {
    // The test main gave this process a fresh home; the settings live in the parent's.
    qputenv("DBUS_SESSION_BUS_ADDRESS", qgetenv("VELMORA_GNOME_WRITER_BUS"));
    qputenv("XDG_CONFIG_HOME", qgetenv("VELMORA_GNOME_WRITER_CONFIG"));
    const auto options =
        test::fitOrFill(qEnvironmentVariable("VELMORA_GNOME_WRITER_MODE") == u"fill");
    GnomeDesktop desktop;
    QString error;
    // Twice, as for two screens: the second call finds everything in place already.
    bool set = true;
    for (int screen = 0; screen < 2; ++screen)
        set = set && desktop.setDesktopImage(qEnvironmentVariable("VELMORA_GNOME_WRITER_FILE"),
                                             desktop.screens().at(0), options, &error);
    std::cout << "result:" << (set ? QByteArray("ok") : error.toUtf8()).constData() << std::endl;
}

QString setPicture(const test::PrivateSessionBus &bus, const QString &file, bool fill) {
    qputenv("VELMORA_GNOME_WRITER_BUS", bus.address().toUtf8());
    qputenv("VELMORA_GNOME_WRITER_CONFIG", bus.configHome().toUtf8());
    qputenv("VELMORA_GNOME_WRITER_FILE", file.toUtf8());
    qputenv("VELMORA_GNOME_WRITER_MODE", fill ? "fill" : "fit");
    const QString output = QString::fromUtf8(
        test::runTool(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--gtest_also_run_disabled_tests"),
                       QStringLiteral("--gtest_filter=GnomeDesktopWriter.DISABLED_SetPicture")}));
    return output.section(QStringLiteral("result:"), 1).section(u'\n', 0, 0);
}

QString key(const char *name) {
    return QString::fromUtf8(
        test::runTool(QStringLiteral("gsettings"),
                      {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                       QLatin1String(name)})
            .trimmed());
}

TEST(GnomeDesktopTest, WritesEveryBackgroundKeyThroughDconf) {
    if (QStandardPaths::findExecutable(QStringLiteral("gsettings")).isEmpty() ||
        !GnomeDesktop::available())
        GTEST_SKIP() << "gsettings or the GNOME background schema is not installed";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    // Characters that must be percent-encoded in a URI, and some that must survive as text.
    test::TempDir temp;
    const QString file = temp.path(QStringLiteral("晨光 #1 100%.jpg"));
    ASSERT_TRUE(test::writeFile(file, "picture"));

    for (const auto &[fill, options] : {std::pair(false, "'scaled'"), {true, "'zoom'"}}) {
        ASSERT_EQ(setPicture(bus, file, fill), QStringLiteral("ok"));
        const QString uri = key("picture-uri");
        EXPECT_EQ(QUrl(uri.mid(1, uri.size() - 2), QUrl::StrictMode).toLocalFile(), file);
        EXPECT_EQ(QStringList({key("picture-uri-dark"), key("picture-options"),
                               key("primary-color"), key("color-shading-type")}),
                  QStringList({uri, QLatin1String(options), QStringLiteral("'#0e1f29'"),
                               QStringLiteral("'solid'")}));
    }
}

TEST(GnomeDesktopTest, AWriteThatDconfCannotStoreIsReported) {
    if (!GnomeDesktop::available())
        GTEST_SKIP() << "the org.gnome.desktop.background schema is not installed";
    test::TempDir temp;
    qputenv("XDG_RUNTIME_DIR", temp.path().toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + temp.path(QStringLiteral("none")).toUtf8());
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("a.jpg")), "picture"));
    GnomeDesktop desktop;
    QString error;
    EXPECT_FALSE(desktop.setDesktopImage(temp.path(QStringLiteral("a.jpg")),
                                         desktop.screens().at(0), {}, &error));
    EXPECT_EQ(error, QStringLiteral("GNOME 桌面设置没有保存下来（dconf 服务或会话总线不可用）。"));
}

} // namespace
