// What the client hands to a desktop's services on a private session bus of its own.
//
// The GSettings backends (GNOME, Cinnamon, MATE) against their real schemas: dconf's service,
// read back by another program (gsettings) the way the desktop's own background drawer would
// see it, and a write dconf could not store reported as such. The writes happen in a child run
// of this binary: dconf's bus connection ends its process when the bus goes away, and the bus
// has to go when the test ends.
//
// The Plasma backend against a stand-in for plasmashell's scripting object: the script that
// arrives, what it does when run, and how a refusal comes back.
//
// The one-time migration of a credential that older versions kept in the keychain, against a
// real Secret Service (gnome-keyring). The test binary runs itself a second time on that bus;
// that inner run does the load and reports through its exit status, and the outer run checks
// that the secret never reached its output.
#include "DesktopTestSupport.h"

#include "core/KeychainStore.h"
#include "platform/linux/GSettingsDesktop.h"
#include "platform/linux/PlasmaDesktop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <future>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::platform::GSettingsBackground;
using velmora::platform::GSettingsDesktop;
using velmora::platform::PlasmaDesktop;

namespace {

QString key(const char *schema, const char *name) {
    return QString::fromUtf8(
        test::runToEnd(u"gsettings"_s, {u"get"_s, QLatin1String(schema), QLatin1String(name)})
            .out.trimmed());
}

TEST(GSettingsDesktopTest, WritesEveryBackgroundKeyOfEachSchemaThroughDconfOrSaysItCouldNot) {
    // The picture keys: URIs, or none for MATE, which takes a plain path and a switch.
    const std::pair<const GSettingsBackground *, std::vector<const char *>> cases[] = {
        {&GSettingsBackground::gnome, {"picture-uri", "picture-uri-dark"}},
        {&GSettingsBackground::cinnamon, {"picture-uri"}},
        {&GSettingsBackground::mate, {}},
    };
    // The child run, which sets the picture: the test main gave it a fresh home and no bus; the
    // settings live in the parent's. What to do comes one item a line: bus, settings folder,
    // case, file, fit or fill.
    const QStringList job = qEnvironmentVariable("VELMORA_GSETTINGS_WRITER").split(u'\n');
    if (job.size() == 5) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", job[0].toUtf8());
        qputenv("XDG_CONFIG_HOME", job[1].toUtf8());
        GSettingsDesktop desktop(*cases[job[2].toInt()].first);
        // Twice, as for two screens: the second call finds everything in place already.
        for (int screen = 0; screen < 2; ++screen) {
            QString error;
            ASSERT_TRUE(desktop.setDesktopImage(job[3], desktop.screens().at(0),
                                                test::fitOrFill(job[4] == u"fill"), &error))
                << error.toStdString();
        }
        return;
    }
    if (QStandardPaths::findExecutable(u"gsettings"_s).isEmpty())
        GTEST_SKIP() << "gsettings is not installed";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    // Characters that must be percent-encoded in a URI, and some that must survive as text.
    test::TempDir temp;
    const QString file = temp.path(u"晨光 #1 100%.jpg"_s);
    ASSERT_TRUE(test::writeFile(file, "picture"));
    // Runs the child on the bus at `address`, setting the picture of `cases[index]`.
    const auto write = [&](const QString &address, int index, bool fill) {
        const QStringList job = {address, bus.configHome(), QString::number(index), file,
                                 fill ? u"fill"_s : u"fit"_s};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VELMORA_GSETTINGS_WRITER"_s, job.join(u'\n'));
        return test::runToEnd(QCoreApplication::applicationFilePath(),
                              {u"--gtest_filter=GSettingsDesktopTest.Writes*"_s}, environment);
    };
    // With no bus to reach dconf's service by, the write is undone and the user told so. (First,
    // while the settings differ from what is asked: a write that changes nothing succeeds.)
    const test::Ran refused = write(u"unix:path="_s + temp.path(u"none"_s), 0, false);
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(refused.out.contains(
        u"GNOME 桌面设置没有保存下来（dconf 服务或会话总线不可用）。"_s.toUtf8()))
        << refused.out.toStdString();

    for (int index = 0; index < int(std::size(cases)); ++index) {
        const auto &[background, uriKeys] = cases[index];
        const char *schema = background->schema;
        ASSERT_TRUE(GSettingsDesktop::available(*background))
            << schema << " is not installed (scripts/install-deps.sh installs it)";
        // Switched off first, so only the write can turn it on.
        test::runToEnd(u"gsettings"_s,
                       {u"set"_s, QLatin1String(schema), u"draw-background"_s, u"false"_s});
        for (const auto &[fill, options] : {std::pair(false, "'scaled'"), {true, "'zoom'"}}) {
            const test::Ran written = write(bus.address(), index, fill);
            ASSERT_EQ(written.status, 0) << schema << written.out.toStdString();
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

// Refuses any script that mentions "locked", as plasmashell does with its widgets locked.
class FakePlasmaShell : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")

public slots:
    QString evaluateScript(const QString &script) {
        lastScript = script;
        if (script.contains(u"locked"_s))
            sendErrorReply(u"org.kde.plasmashell.error"_s, u"Widgets are locked"_s);
        return {};
    }

public:
    QString lastScript;
};

QString script(const QString &path, int fillMode) {
    return u"var all = desktops();\n"
           "for (var i = 0; i < all.length; ++i) {\n"
           "    var d = all[i];\n"
           "    d.wallpaperPlugin = \"org.kde.image\";\n"
           "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", "
           "\"General\"];\n"
           "    d.writeConfig(\"Image\", IMAGE);\n"
           "    d.writeConfig(\"FillMode\", FILL);\n"
           "    d.writeConfig(\"Color\", \"#0e1f29\");\n"
           "}\n"_s.replace(u"FILL"_s, QString::number(fillMode))
               .replace(u"IMAGE"_s, u'‹' + path + u'›');
}

TEST(PlasmaDesktopTest, SendsOneScriptThatSetsEveryDesktopAndCannotBeBrokenOutOf) {
    const test::PrivateSessionBus bus;
    if (bus.address().isEmpty())
        GTEST_SKIP() << "no private session bus: dbus-daemon is missing or did not start";
    FakePlasmaShell shell;
    QDBusConnection shellBus = QDBusConnection::connectToBus(bus.address(), u"fake-plasmashell"_s);
    ASSERT_TRUE(
        shellBus.registerObject(u"/PlasmaShell"_s, &shell, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(shellBus.registerService(u"org.kde.plasmashell"_s));
    PlasmaDesktop desktop(QDBusConnection::connectToBus(bus.address(), u"client"_s));

    // The script sent, its writeConfig("Image", …) literal decoded as JavaScript would (the
    // literal uses only escapes JSON shares) and shown as the local file in ‹›; or the refusal.
    const auto set = [&](const QString &path, bool fill) {
        // The client blocks its thread on the call, so it calls from another one while this
        // thread's event loop lets the shell answer.
        QString error;
        std::future<bool> done = std::async(std::launch::async, [&] {
            return desktop.setDesktopImage(path, {}, test::fitOrFill(fill), &error);
        });
        while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            QCoreApplication::processEvents();
        if (!done.get())
            return error;
        static const QRegularExpression image(
            QStringLiteral(R"(writeConfig\("Image", ("(?:[^"\\\n]|\\.)*")\);)"));
        QString script = shell.lastScript;
        const QRegularExpressionMatch match = image.match(script);
        const QJsonDocument url = QJsonDocument::fromJson('[' + match.captured(1).toUtf8() + ']');
        const QString file = QUrl(url[0].toString(), QUrl::StrictMode).toLocalFile();
        return script.replace(match.capturedStart(1), match.capturedLength(1), u'‹' + file + u'›');
    };

    const QString breakout = u"/tmp/it's \"quoted\" \\ line\nbreak\");evil();(\".jpg"_s;
    const QString placeholders = u"/tmp/%2 %1 晨光\u2028.png"_s;
    const std::tuple<QString, bool, QString> rows[] = {
        {breakout, true, script(breakout, 2)},
        {placeholders, false, script(placeholders, 1)},
        {u"/tmp/locked.jpg"_s, false, u"Plasma 桌面没有接受壁纸设置：Widgets are locked"_s},
    };
    for (const auto &[path, fill, expected] : rows)
        EXPECT_EQ(set(path, fill), expected);
}

TEST(SecretServiceMigration, LegacyItemOfThisDataDirectoryIsCopiedIntoThePrivateFile) {
    if (qEnvironmentVariableIsSet("VELMORA_DESKTOP_BUS")) {
        // The test main hides the session bus from every test; this one brought its own.
        qputenv("DBUS_SESSION_BUS_ADDRESS", qgetenv("VELMORA_DESKTOP_BUS"));
        const ClientPaths paths(qEnvironmentVariable("VELMORA_DESKTOP_DATA"));
        const auto loaded = KeychainStore(paths, u"alice"_s).load();
        ASSERT_TRUE(loaded.ok()) << loaded.error().description().toStdString();
        EXPECT_EQ(loaded->value_or(ActivationState{}).token, u"legacy-token"_s);
        return;
    }
    for (const char *tool : {"gnome-keyring-daemon", "secret-tool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    const test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";

    test::TempDir temp;
    const ClientPaths paths(temp.path(u"data"_s));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"VELMORA_DESKTOP_DATA"_s, paths.root());
    environment.insert(u"VELMORA_DESKTOP_SERVICE"_s, KeychainStore::serviceName(paths));
    // The item in the older key names, and a decoy under the default service name that a
    // private data directory must not pick up.
    const QString script =
        u"set -e\n"
        "printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null\n"
        "printf %s '{\"serverBaseUrl\":\"https://decoy.example\",\"deviceId\":\"d\","
        "\"deviceName\":\"n\",\"token\":\"decoy\",\"activatedAtUtc\":\"t\"}' | secret-tool store "
        "--label=decoy service example.velmora.wallpaper.activation account alice\n"
        "printf %s '{\"server_base_url\":\"https://s.example\",\"device_id\":\"d\","
        "\"device_name\":\"n\",\"token\":\"legacy-token\",\"activated_at_utc\":\"t\"}' | "
        "secret-tool store --label=L service \"$VELMORA_DESKTOP_SERVICE\" account alice\n"
        "VELMORA_DESKTOP_BUS=\"$DBUS_SESSION_BUS_ADDRESS\" exec \"$0\" "
        "--gtest_filter=SecretServiceMigration.*\n"_s;

    const test::Ran session = test::runToEnd(
        u"sh"_s, {u"-c"_s, script, QCoreApplication::applicationFilePath()}, environment, 90000);
    ASSERT_EQ(session.status, 0) << session.line().toStdString();
    EXPECT_FALSE(session.line().contains("legacy-token")) << "the secret is never printed";
}

} // namespace

#include "SessionBusTest.moc"
