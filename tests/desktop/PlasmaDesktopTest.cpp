// The Plasma backend against a stand-in for plasmashell's scripting object on a private session
// bus: the script that arrives, what it does when run, and how a refusal comes back.
#include "DesktopTestSupport.h"

#include "platform/linux/PlasmaDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>

#include <future>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::platform::PlasmaDesktop;

namespace {

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

class PlasmaDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (bus.address().isEmpty())
            GTEST_SKIP() << "no private session bus: dbus-daemon is missing or did not start";
        QDBusConnection shellBus =
            QDBusConnection::connectToBus(bus.address(), u"fake-plasmashell"_s);
        ASSERT_TRUE(
            shellBus.registerObject(u"/PlasmaShell"_s, &shell, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(shellBus.registerService(u"org.kde.plasmashell"_s));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(u"fake-plasmashell"_s);
        QDBusConnection::disconnectFromBus(u"client"_s);
    }

    // The script sent, its writeConfig("Image", …) literal decoded as JavaScript would (the
    // literal uses only escapes JSON shares) and shown as the local file in ‹›; or the refusal.
    QString set(const QString &path, bool fill) {
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
    }

    test::PrivateSessionBus bus;
    PlasmaDesktop desktop{QDBusConnection::connectToBus(bus.address(), u"client"_s)};
    FakePlasmaShell shell;
};

QString script(const QString &path, int fillMode) {
    return QStringLiteral("var all = desktops();\n"
                          "for (var i = 0; i < all.length; ++i) {\n"
                          "    var d = all[i];\n"
                          "    d.wallpaperPlugin = \"org.kde.image\";\n"
                          "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", "
                          "\"General\"];\n"
                          "    d.writeConfig(\"Image\", IMAGE);\n"
                          "    d.writeConfig(\"FillMode\", FILL);\n"
                          "    d.writeConfig(\"Color\", \"#0e1f29\");\n"
                          "}\n")
        .replace(u"FILL"_s, QString::number(fillMode))
        .replace(u"IMAGE"_s, u'‹' + path + u'›');
}

TEST_F(PlasmaDesktopTest, SendsOneScriptThatSetsEveryDesktopAndCannotBeBrokenOutOf) {
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

} // namespace

#include "PlasmaDesktopTest.moc"
