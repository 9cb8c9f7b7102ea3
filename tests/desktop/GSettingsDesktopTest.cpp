// The GSettings backends (GNOME, Cinnamon, MATE) against their real schemas: dconf's service on
// a private session bus, read back by another program (gsettings) the way the desktop's own
// background drawer would see it. The writes happen in a child
// run of this binary: dconf's bus connection ends its process when the bus goes away, and the
// bus has to go when the test ends.
#include "DesktopTestSupport.h"

#include "platform/linux/GSettingsDesktop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QUrl>

#include <algorithm>
#include <iostream>

using namespace velmora;
using velmora::platform::GSettingsBackground;
using velmora::platform::GSettingsDesktop;

namespace {

const GSettingsBackground *const kBackgrounds[] = {
    &GSettingsBackground::gnome, &GSettingsBackground::cinnamon, &GSettingsBackground::mate};

// The child run: sets the picture and prints "ok" or the error. Disabled, so it runs only when
// asked for by name.
TEST(GSettingsDesktopWriter, DISABLED_SetPicture) {
    // The test main gave this process a fresh home; the settings live in the parent's.
    qputenv("DBUS_SESSION_BUS_ADDRESS", qgetenv("VELMORA_GSETTINGS_WRITER_BUS"));
    qputenv("XDG_CONFIG_HOME", qgetenv("VELMORA_GSETTINGS_WRITER_CONFIG"));
    const auto options =
        test::fitOrFill(qEnvironmentVariable("VELMORA_GSETTINGS_WRITER_MODE") == u"fill");
    const QByteArray backend = qgetenv("VELMORA_GSETTINGS_WRITER_BACKEND");
    const auto *background = *std::find_if(std::begin(kBackgrounds), std::end(kBackgrounds),
                                           [&](auto *b) { return backend == b->backendName; });
    GSettingsDesktop desktop(*background);
    QString error;
    // Twice, as for two screens: the second call finds everything in place already.
    bool set = true;
    for (int screen = 0; screen < 2; ++screen)
        set = set && desktop.setDesktopImage(qEnvironmentVariable("VELMORA_GSETTINGS_WRITER_FILE"),
                                             desktop.screens().at(0), options, &error);
    std::cout << "result:" << (set ? QByteArray("ok") : error.toUtf8()).constData() << std::endl;
}

QString setPicture(const test::PrivateSessionBus &bus, const GSettingsBackground &background,
                   const QString &file, bool fill) {
    qputenv("VELMORA_GSETTINGS_WRITER_BACKEND", background.backendName);
    qputenv("VELMORA_GSETTINGS_WRITER_BUS", bus.address().toUtf8());
    qputenv("VELMORA_GSETTINGS_WRITER_CONFIG", bus.configHome().toUtf8());
    qputenv("VELMORA_GSETTINGS_WRITER_FILE", file.toUtf8());
    qputenv("VELMORA_GSETTINGS_WRITER_MODE", fill ? "fill" : "fit");
    const QString output = QString::fromUtf8(test::runTool(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_also_run_disabled_tests"),
         QStringLiteral("--gtest_filter=GSettingsDesktopWriter.DISABLED_SetPicture")}));
    return output.section(QStringLiteral("result:"), 1).section(u'\n', 0, 0);
}

QString key(const char *schema, const char *name) {
    return QString::fromUtf8(
        test::runTool(QStringLiteral("gsettings"),
                      {QStringLiteral("get"), QLatin1String(schema), QLatin1String(name)})
            .trimmed());
}

TEST(GSettingsDesktopTest, WritesEveryBackgroundKeyOfEachSchemaThroughDconf) {
    if (QStandardPaths::findExecutable(QStringLiteral("gsettings")).isEmpty())
        GTEST_SKIP() << "gsettings is not installed";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    // Characters that must be percent-encoded in a URI, and some that must survive as text.
    test::TempDir temp;
    const QString file = temp.path(QStringLiteral("晨光 #1 100%.jpg"));
    ASSERT_TRUE(test::writeFile(file, "picture"));

    // The picture keys: URIs, or none for MATE, which takes a plain path and a switch.
    const std::pair<const GSettingsBackground *, QStringList> cases[] = {
        {&GSettingsBackground::gnome,
         {QStringLiteral("picture-uri"), QStringLiteral("picture-uri-dark")}},
        {&GSettingsBackground::cinnamon, {QStringLiteral("picture-uri")}},
        {&GSettingsBackground::mate, {}},
    };
    for (const auto &[background, uriKeys] : cases) {
        const char *schema = background->schema;
        ASSERT_TRUE(GSettingsDesktop::available(*background))
            << schema << " is not installed (scripts/install-deps.sh installs it)";
        // Switched off first, so only the write can turn it on.
        test::runTool(QStringLiteral("gsettings"),
                      {QStringLiteral("set"), QLatin1String(schema),
                       QStringLiteral("draw-background"), QStringLiteral("false")});
        for (const auto &[fill, options] : {std::pair(false, "'scaled'"), {true, "'zoom'"}}) {
            ASSERT_EQ(setPicture(bus, *background, file, fill), QStringLiteral("ok")) << schema;
            for (const QString &uriKey : uriKeys) {
                const QString uri = key(schema, uriKey.toLatin1());
                EXPECT_EQ(QUrl(uri.mid(1, uri.size() - 2), QUrl::StrictMode).toLocalFile(), file)
                    << schema << " " << uriKey.toStdString();
            }
            QStringList expected = {QLatin1String(options), QStringLiteral("'#0e1f29'"),
                                    QStringLiteral("'solid'")};
            QStringList stored = {key(schema, "picture-options"), key(schema, "primary-color"),
                                  key(schema, "color-shading-type")};
            if (uriKeys.isEmpty()) {
                expected << u'\'' + file + u'\'' << QStringLiteral("true");
                stored << key(schema, "picture-filename") << key(schema, "draw-background");
            }
            EXPECT_EQ(stored, expected) << schema;
        }
    }
}

TEST(GSettingsDesktopTest, AWriteThatDconfCannotStoreIsReported) {
    if (!GSettingsDesktop::available(GSettingsBackground::gnome))
        GTEST_SKIP() << "the org.gnome.desktop.background schema is not installed";
    test::TempDir temp;
    qputenv("XDG_RUNTIME_DIR", temp.path().toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + temp.path(QStringLiteral("none")).toUtf8());
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("a.jpg")), "picture"));
    GSettingsDesktop desktop(GSettingsBackground::gnome);
    QString error;
    EXPECT_FALSE(desktop.setDesktopImage(temp.path(QStringLiteral("a.jpg")),
                                         desktop.screens().at(0), {}, &error));
    EXPECT_EQ(error, QStringLiteral("GNOME 桌面设置没有保存下来（dconf 服务或会话总线不可用）。"));
}

} // namespace
