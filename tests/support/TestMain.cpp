// Every test process runs with its own HOME and XDG directories, so no test can read or change
// the real user's data, settings or desktop.
#include <QCoreApplication>
#ifdef VELMORA_TEST_WIDGETS
#include <QApplication>
#endif
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

int main(int argc, char **argv) {
    QTemporaryDir home(QDir::tempPath() + u"/velmora-test-home-XXXXXX"_s);
    if (!home.isValid())
        return 3;
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString path = home.path() + u'/' + QString::fromLatin1(name).toLower();
        QDir().mkpath(path);
        qputenv(name, name == std::string_view("HOME") ? home.path().toUtf8() : path.toUtf8());
    }
    qunsetenv("VELMORA_MAC_APPDATA");
    // No test talks to the user's session bus, keyring or desktop; tests that need one start
    // their own.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("VELMORA_SERVER");

#ifdef VELMORA_TEST_WIDGETS
    // Menus and alerts are real widgets, drawn without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
