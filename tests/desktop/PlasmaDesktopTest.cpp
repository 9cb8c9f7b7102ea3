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

class FakePlasmaShell : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PlasmaShell")

public:
    QStringList scripts() const {
        QMutexLocker lock(&m_mutex);
        return m_scripts;
    }
    void refuseWith(const QString &message) {
        QMutexLocker lock(&m_mutex);
        m_refusal = message;
    }

public slots:
    QString evaluateScript(const QString &script) {
        QMutexLocker lock(&m_mutex);
        m_scripts << script;
        if (!m_refusal.isEmpty())
            sendErrorReply(QStringLiteral("org.kde.plasmashell.error"), m_refusal);
        return {};
    }

private:
    mutable QMutex m_mutex;
    QStringList m_scripts;
    QString m_refusal;
};

class PlasmaDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (scripts/install-deps.sh installs it)";
        bus = std::make_unique<test::PrivateSessionBus>();
        ASSERT_TRUE(bus->isRunning()) << "dbus-daemon did not start";

        // The client blocks its thread on the call, so the shell answers from another one.
        shell = new FakePlasmaShell;
        shell->moveToThread(&shellThread);
        QObject::connect(&shellThread, &QThread::finished, shell, &QObject::deleteLater);
        shellThread.start();
        QDBusConnection shellBus =
            QDBusConnection::connectToBus(bus->address(), QStringLiteral("fake-plasmashell"));
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

    PlasmaDesktop client() const {
        return PlasmaDesktop(
            QDBusConnection::connectToBus(bus->address(), QStringLiteral("client")));
    }

    std::unique_ptr<test::PrivateSessionBus> bus;
    QThread shellThread;
    FakePlasmaShell *shell = nullptr; // lives and dies in shellThread
};

// The value of writeConfig("Image", …) decoded as JavaScript would, and the script with that
// literal taken out. The literal uses only escapes JSON shares with JavaScript.
std::pair<QString, QString> imageArgument(const QString &script) {
    static const QRegularExpression image(
        QStringLiteral(R"(writeConfig\("Image", ("(?:[^"\\\n]|\\.)*")\);)"));
    const QRegularExpressionMatch match = image.match(script);
    if (!match.hasMatch())
        return {};
    const QJsonDocument parsed = QJsonDocument::fromJson('[' + match.captured(1).toUtf8() + ']');
    QString rest = script;
    rest.replace(match.capturedStart(1), match.capturedLength(1), QStringLiteral("IMAGE"));
    return {parsed.array().at(0).toString(), rest};
}

const QString kExpectedScript =
    QStringLiteral("var all = desktops();\n"
                   "for (var i = 0; i < all.length; ++i) {\n"
                   "    var d = all[i];\n"
                   "    d.wallpaperPlugin = \"org.kde.image\";\n"
                   "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                   "    d.writeConfig(\"Image\", IMAGE);\n"
                   "    d.writeConfig(\"FillMode\", %1);\n"
                   "    d.writeConfig(\"Color\", \"#0e1f29\");\n"
                   "}\n");

TEST_F(PlasmaDesktopTest, SendsOneScriptThatSetsEveryDesktopAndCannotBeBrokenOutOf) {
    const struct {
        QString path;
        bool fill;
    } rows[] = {
        {QStringLiteral("/home/u/it's \"quoted\" \\ back\\slash.jpg"), true},
        {QStringLiteral("/tmp/line\nbreak\");evil();(\".png"), false},
        {QStringLiteral("/tmp/%2 %1 晨光\u2028.png"), true},
    };
    PlasmaDesktop desktop = client();
    for (const auto &row : rows) {
        DesktopImageOptions options;
        options.allowClipping = row.fill;
        QString error;
        ASSERT_TRUE(desktop.setDesktopImage(row.path, Screen{}, options, &error))
            << error.toStdString();
        const QString script = shell->scripts().constLast();
        const auto [url, rest] = imageArgument(script);
        EXPECT_EQ(QUrl(url, QUrl::StrictMode).toLocalFile(), row.path) << script.toStdString();
        EXPECT_EQ(rest, kExpectedScript.arg(row.fill ? 2 : 1)) << script.toStdString();
    }
    EXPECT_EQ(shell->scripts().size(), qsizetype(std::size(rows)));
}

TEST_F(PlasmaDesktopTest, ARefusalOrAMissingShellIsReported) {
    shell->refuseWith(QStringLiteral("Widgets are locked"));
    PlasmaDesktop desktop = client();
    QString error;
    EXPECT_FALSE(desktop.setDesktopImage(QStringLiteral("/tmp/a.jpg"), Screen{}, {}, &error));
    EXPECT_EQ(error, QStringLiteral("Plasma 桌面没有接受壁纸设置：Widgets are locked"));

    QDBusConnection::disconnectFromBus(QStringLiteral("fake-plasmashell"));
    EXPECT_FALSE(desktop.setDesktopImage(QStringLiteral("/tmp/a.jpg"), Screen{}, {}, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Plasma 桌面没有接受壁纸设置：")))
        << error.toStdString();
}

} // namespace

#include "PlasmaDesktopTest.moc"
