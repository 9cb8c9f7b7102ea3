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
using velmora::platform::DesktopImageOptions;
using velmora::platform::GnomeDesktop;
using velmora::platform::Screen;

namespace {

constexpr const char *kWriterBus = "VELMORA_GNOME_WRITER_BUS";

// The child run: sets the picture once and prints "ok" or the error. Disabled, so it runs only
// when asked for by name.
TEST(GnomeDesktopWriter, DISABLED_SetPicture) {
    // The test main gave this process a fresh home; the settings live in the parent's.
    qputenv("DBUS_SESSION_BUS_ADDRESS", qgetenv(kWriterBus));
    qputenv("XDG_CONFIG_HOME", qgetenv("VELMORA_GNOME_WRITER_CONFIG"));
    DesktopImageOptions options;
    options.allowClipping = qEnvironmentVariable("VELMORA_GNOME_WRITER_MODE") == u"fill";
    GnomeDesktop desktop;
    QString error;
    // Twice, as for two screens: the second call finds everything in place already.
    bool set = true;
    for (const Screen &screen : {desktop.screens().at(0), desktop.screens().at(0)})
        set = set && desktop.setDesktopImage(qEnvironmentVariable("VELMORA_GNOME_WRITER_FILE"),
                                             screen, options, &error);
    std::cout << "result:" << (set ? QByteArray("ok") : error.toUtf8()).constData() << std::endl;
}

class GnomeDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *tool : {"dbus-daemon", "gsettings"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
        if (!GnomeDesktop::available())
            GTEST_SKIP() << "the org.gnome.desktop.background schema is not installed "
                            "(gsettings-desktop-schemas)";
        // Before GIO first looks at the bus or the dconf files.
        bus = std::make_unique<test::PrivateSessionBus>();
        ASSERT_TRUE(bus->isRunning()) << "dbus-daemon did not start";
    }

    // Runs the writer in a child process; "ok" or its error.
    QString setPicture(const QString &file, bool fill) const {
        qputenv(kWriterBus, bus->address().toUtf8());
        qputenv("VELMORA_GNOME_WRITER_CONFIG", bus->configHome().toUtf8());
        qputenv("VELMORA_GNOME_WRITER_FILE", file.toUtf8());
        qputenv("VELMORA_GNOME_WRITER_MODE", fill ? "fill" : "fit");
        int status = 0;
        const QString output = QString::fromUtf8(
            test::runTool(QCoreApplication::applicationFilePath(),
                          {QStringLiteral("--gtest_also_run_disabled_tests"),
                           QStringLiteral("--gtest_filter=GnomeDesktopWriter.DISABLED_SetPicture")},
                          &status));
        const qsizetype at = output.indexOf(QStringLiteral("result:"));
        return status != 0 || at < 0 ? QStringLiteral("writer failed: ") + output
                                     : output.mid(at + 7).section(u'\n', 0, 0);
    }

    QString key(const char *name) const {
        return QString::fromUtf8(
            test::runTool(QStringLiteral("gsettings"),
                          {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                           QLatin1String(name)})
                .trimmed());
    }

    // The GVariant text of a string, as gsettings prints it: 'value'.
    static QString unquoted(const QString &text) {
        return text.startsWith(u'\'') && text.endsWith(u'\'') ? text.mid(1, text.size() - 2) : text;
    }

    test::TempDir temp;
    std::unique_ptr<test::PrivateSessionBus> bus;
};

TEST_F(GnomeDesktopTest, WritesEveryBackgroundKeyThroughDconf) {
    // Characters that must be percent-encoded in a URI, and some that must survive as text.
    const QString file = temp.path(QStringLiteral("晨光 #1 100%.jpg"));
    ASSERT_TRUE(test::writeFile(file, "picture"));

    ASSERT_EQ(setPicture(file, false), QStringLiteral("ok"));

    const QString uri = unquoted(key("picture-uri"));
    EXPECT_TRUE(uri.startsWith(QStringLiteral("file:///"))) << uri.toStdString();
    EXPECT_FALSE(uri.contains(u' ') || uri.contains(u'#') || uri.contains(u'晨'))
        << uri.toStdString();
    EXPECT_EQ(QUrl(uri, QUrl::StrictMode).toLocalFile(), file);
    EXPECT_EQ(unquoted(key("picture-uri-dark")), uri);
    EXPECT_EQ(key("picture-options"), QStringLiteral("'scaled'"));
    EXPECT_EQ(key("primary-color"), QStringLiteral("'#0e1f29'"));
    EXPECT_EQ(key("color-shading-type"), QStringLiteral("'solid'"));
    // Stored by dconf in the private configuration, not in memory, not in the real user's.
    EXPECT_TRUE(QFileInfo::exists(bus->configHome() + QStringLiteral("/dconf/user")));

    ASSERT_EQ(setPicture(file, true), QStringLiteral("ok"));
    EXPECT_EQ(key("picture-options"), QStringLiteral("'zoom'"));
    EXPECT_EQ(unquoted(key("picture-uri")), uri);
}

TEST_F(GnomeDesktopTest, ALockedKeyIsReportedAndNothingIsWritten) {
    // A system administrator's lock, as dconf reads it from the system databases.
    const QString profile = temp.path(QStringLiteral("profile"));
    const QString databases = temp.path(QStringLiteral("db"));
    QDir().mkpath(databases + QStringLiteral("/site.d/locks"));
    ASSERT_TRUE(
        test::writeFile(profile, "user-db:user\nfile-db:" + databases.toUtf8() + "/site\n"));
    ASSERT_TRUE(test::writeFile(databases + QStringLiteral("/site.d/background"),
                                "[org/gnome/desktop/background]\npicture-options='centered'\n"));
    ASSERT_TRUE(test::writeFile(databases + QStringLiteral("/site.d/locks/background"),
                                "/org/gnome/desktop/background/picture-options\n"));
    int status = 0;
    QByteArray errors;
    test::runTool(QStringLiteral("dconf"),
                  {QStringLiteral("compile"), databases + QStringLiteral("/site"),
                   databases + QStringLiteral("/site.d")},
                  &status, &errors);
    if (status == -1)
        GTEST_SKIP() << "dconf (dconf-cli) is not installed";
    ASSERT_EQ(status, 0) << errors.toStdString();
    qputenv("DCONF_PROFILE", profile.toUtf8());

    const QString file = temp.path(QStringLiteral("a.jpg"));
    ASSERT_TRUE(test::writeFile(file, "picture"));
    const QString before = key("picture-uri");
    EXPECT_EQ(setPicture(file, false),
              QStringLiteral("GNOME 桌面设置“picture-options”已被锁定，无法修改。"));
    EXPECT_EQ(key("picture-uri"), before);
    EXPECT_EQ(key("picture-options"), QStringLiteral("'centered'"));
}

TEST(GnomeDesktopWithoutBus, AWriteThatDconfCannotStoreIsReported) {
    if (!GnomeDesktop::available())
        GTEST_SKIP() << "the org.gnome.desktop.background schema is not installed";
    test::TempDir temp;
    qputenv("XDG_RUNTIME_DIR", temp.path().toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            "unix:path=" + temp.path(QStringLiteral("no-bus-here")).toUtf8());
    const QString file = temp.path(QStringLiteral("a.jpg"));
    ASSERT_TRUE(test::writeFile(file, "picture"));

    GnomeDesktop desktop;
    QString error;
    EXPECT_FALSE(
        desktop.setDesktopImage(file, desktop.screens().at(0), DesktopImageOptions{}, &error));
    EXPECT_EQ(error, QStringLiteral("GNOME 桌面设置没有保存下来（dconf 服务或会话总线不可用）。"));
}

} // namespace
