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

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::platform::GSettingsBackground;
using velmora::platform::GSettingsDesktop;

namespace {

const GSettingsBackground *const kBackgrounds[] = {
    &GSettingsBackground::gnome, &GSettingsBackground::cinnamon, &GSettingsBackground::mate};

// The child run: sets the picture and prints "ok" or the error. Disabled, so it runs only when
// asked for by name.
TEST(GSettingsDesktopWriter, DISABLED_SetPicture) {
    // The test main gave this process a fresh home and no bus; the settings live in the parent's.
    // What to do comes one item a line: bus, settings folder, backend, file, fit or fill.
    const QStringList job = qEnvironmentVariable("VELMORA_GSETTINGS_WRITER").split(u'\n');
    qputenv("DBUS_SESSION_BUS_ADDRESS", job[0].toUtf8());
    qputenv("XDG_CONFIG_HOME", job[1].toUtf8());
    const auto *background =
        *std::find_if(std::begin(kBackgrounds), std::end(kBackgrounds),
                      [&](auto *b) { return job[2] == QLatin1String(b->backendName); });
    GSettingsDesktop desktop(*background);
    QString error;
    // Twice, as for two screens: the second call finds everything in place already.
    bool set = true;
    for (int screen = 0; screen < 2; ++screen)
        set = set && desktop.setDesktopImage(job[3], desktop.screens().at(0),
                                             test::fitOrFill(job[4] == u"fill"), &error);
    std::cout << "result:" << (set ? QByteArray("ok") : error.toUtf8()).constData() << std::endl;
}

QString setPicture(const test::PrivateSessionBus &bus, const GSettingsBackground &background,
                   const QString &file, bool fill) {
    const QStringList job = {bus.address(), bus.configHome(), QLatin1String(background.backendName),
                             file, fill ? u"fill"_s : u"fit"_s};
    qputenv("VELMORA_GSETTINGS_WRITER", job.join(u'\n').toUtf8());
    const QString output = QString::fromUtf8(
        test::runTool(QCoreApplication::applicationFilePath(),
                      {u"--gtest_also_run_disabled_tests"_s,
                       u"--gtest_filter=GSettingsDesktopWriter.DISABLED_SetPicture"_s}));
    return output.section(u"result:"_s, 1).section(u'\n', 0, 0);
}

QString key(const char *schema, const char *name) {
    return QString::fromUtf8(
        test::runTool(u"gsettings"_s, {u"get"_s, QLatin1String(schema), QLatin1String(name)})
            .trimmed());
}

TEST(GSettingsDesktopTest, WritesEveryBackgroundKeyOfEachSchemaThroughDconf) {
    if (QStandardPaths::findExecutable(u"gsettings"_s).isEmpty())
        GTEST_SKIP() << "gsettings is not installed";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    // Characters that must be percent-encoded in a URI, and some that must survive as text.
    test::TempDir temp;
    const QString file = temp.path(u"晨光 #1 100%.jpg"_s);
    ASSERT_TRUE(test::writeFile(file, "picture"));

    // The picture keys: URIs, or none for MATE, which takes a plain path and a switch.
    const std::pair<const GSettingsBackground *, std::vector<const char *>> cases[] = {
        {&GSettingsBackground::gnome, {"picture-uri", "picture-uri-dark"}},
        {&GSettingsBackground::cinnamon, {"picture-uri"}},
        {&GSettingsBackground::mate, {}},
    };
    for (const auto &[background, uriKeys] : cases) {
        const char *schema = background->schema;
        ASSERT_TRUE(GSettingsDesktop::available(*background))
            << schema << " is not installed (scripts/install-deps.sh installs it)";
        // Switched off first, so only the write can turn it on.
        test::runTool(u"gsettings"_s,
                      {u"set"_s, QLatin1String(schema), u"draw-background"_s, u"false"_s});
        for (const auto &[fill, options] : {std::pair(false, "'scaled'"), {true, "'zoom'"}}) {
            ASSERT_EQ(setPicture(bus, *background, file, fill), u"ok"_s) << schema;
            for (const char *uriKey : uriKeys) {
                const QString uri = key(schema, uriKey);
                EXPECT_EQ(QUrl(uri.mid(1, uri.size() - 2), QUrl::StrictMode).toLocalFile(), file)
                    << schema << " " << uriKey;
            }
            QStringList expected = {QLatin1String(options), u"'#0e1f29'"_s, u"'solid'"_s};
            QStringList stored = {key(schema, "picture-options"), key(schema, "primary-color"),
                                  key(schema, "color-shading-type")};
            if (uriKeys.empty()) {
                expected << u'\'' + file + u'\'' << u"true"_s;
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
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + temp.path(u"none"_s).toUtf8());
    ASSERT_TRUE(test::writeFile(temp.path(u"a.jpg"_s), "picture"));
    GSettingsDesktop desktop(GSettingsBackground::gnome);
    QString error;
    EXPECT_FALSE(
        desktop.setDesktopImage(temp.path(u"a.jpg"_s), desktop.screens().at(0), {}, &error));
    EXPECT_EQ(error, u"GNOME 桌面设置没有保存下来（dconf 服务或会话总线不可用）。"_s);
}

} // namespace
