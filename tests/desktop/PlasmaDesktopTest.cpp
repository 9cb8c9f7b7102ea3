// The Plasma backend against a stand-in for plasmashell's scripting object on a private session
// bus: the script that arrives, what it does when run, and how a refusal comes back.
#include "DesktopTestSupport.h"

#include "platform/linux/PlasmaDesktop.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

using namespace velmora;
using velmora::platform::DesktopImageOptions;
using velmora::platform::PlasmaDesktop;
using velmora::platform::Screen;

namespace {

// Refuses any script that mentions "locked", as plasmashell does with its widgets locked.
class FakePlasmaShell : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")

public:
    QString lastScript() const {
        QMutexLocker lock(&m_mutex);
        return m_script;
    }

public slots:
    QString evaluateScript(const QString &script) {
        QMutexLocker lock(&m_mutex);
        m_script = script;
        if (script.contains(QStringLiteral("locked")))
            sendErrorReply(QStringLiteral("org.kde.plasmashell.error"),
                           QStringLiteral("Widgets are locked"));
        return {};
    }

private:
    mutable QMutex m_mutex;
    QString m_script;
};

class PlasmaDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus.isRunning())
            GTEST_SKIP() << "no private session bus: dbus-daemon is missing or did not start";
        // The client blocks its thread on the call, so the shell answers from another one.
        shell->moveToThread(&shellThread);
        QObject::connect(&shellThread, &QThread::finished, shell, &QObject::deleteLater);
        shellThread.start();
        QDBusConnection shellBus =
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("fake-plasmashell"));
        ASSERT_TRUE(shellBus.registerObject(QStringLiteral("/PlasmaShell"), shell,
                                            QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(shellBus.registerService(QStringLiteral("org.kde.plasmashell")));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-plasmashell"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        shellThread.quit();
        shellThread.wait();
    }

    test::PrivateSessionBus bus;
    PlasmaDesktop desktop{QDBusConnection::connectToBus(bus.address(), QStringLiteral("client"))};
    QThread shellThread;
    FakePlasmaShell *shell = new FakePlasmaShell; // lives and dies in shellThread
};

// The script with the literal of writeConfig("Image", …) taken out, and that literal decoded as
// JavaScript would. The literal uses only escapes JSON shares with JavaScript.
std::pair<QString, QString> takeImageArgument(QString script) {
    static const QRegularExpression image(
        QStringLiteral(R"(writeConfig\("Image", ("(?:[^"\\\n]|\\.)*")\);)"));
    const QRegularExpressionMatch match = image.match(script);
    if (!match.hasMatch())
        return {script, {}};
    const QJsonDocument parsed = QJsonDocument::fromJson('[' + match.captured(1).toUtf8() + ']');
    script.replace(match.capturedStart(1), match.capturedLength(1), QStringLiteral("IMAGE"));
    return {script, parsed.array().at(0).toString()};
}

TEST_F(PlasmaDesktopTest, SendsOneScriptThatSetsEveryDesktopAndCannotBeBrokenOutOf) {
    const std::pair<QString, bool> rows[] = {
        {QStringLiteral("/tmp/it's \"quoted\" \\ line\nbreak\");evil();(\".jpg"), true},
        {QStringLiteral("/tmp/%2 %1 晨光\u2028.png"), false},
    };
    for (const auto &[path, fill] : rows) {
        DesktopImageOptions options;
        options.allowClipping = fill;
        QString error;
        ASSERT_TRUE(desktop.setDesktopImage(path, Screen{}, options, &error))
            << error.toStdString();
        const auto [script, url] = takeImageArgument(shell->lastScript());
        EXPECT_EQ(QUrl(url, QUrl::StrictMode).toLocalFile(), path) << script.toStdString();
        EXPECT_EQ(
            script,
            QStringLiteral(
                "var all = desktops();\n"
                "for (var i = 0; i < all.length; ++i) {\n"
                "    var d = all[i];\n"
                "    d.wallpaperPlugin = \"org.kde.image\";\n"
                "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                "    d.writeConfig(\"Image\", IMAGE);\n"
                "    d.writeConfig(\"FillMode\", %1);\n"
                "    d.writeConfig(\"Color\", \"#0e1f29\");\n"
                "}\n")
                .arg(fill ? 2 : 1));
    }
}

TEST_F(PlasmaDesktopTest, ARefusalIsReported) {
    QString error;
    EXPECT_FALSE(desktop.setDesktopImage(QStringLiteral("/tmp/locked.jpg"), Screen{}, {}, &error));
    EXPECT_EQ(error, QStringLiteral("Plasma 桌面没有接受壁纸设置：Widgets are locked"));
}

} // namespace

#include "PlasmaDesktopTest.moc"
