// The one-time migration of a credential that older versions kept in the keychain, against a
// real Secret Service (gnome-keyring) on a private session bus. The test binary runs itself a
// second time on that bus; that inner run does the load and reports through its exit status,
// and the outer run checks that the secret never reached its output.
#include "DesktopTestSupport.h"
#include "core/KeychainStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

TEST(SecretServiceMigration, LegacyItemOfThisDataDirectoryIsCopiedIntoThePrivateFile) {
    if (qEnvironmentVariable("VELMORA_DESKTOP_ROLE") == u"inner") {
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
    environment.insert(u"VELMORA_DESKTOP_ROLE"_s, u"inner"_s);
    environment.insert(u"VELMORA_DESKTOP_DATA"_s, paths.root());
    environment.insert(u"VELMORA_DESKTOP_SERVICE"_s, KeychainStore::serviceName(paths));
    // The item in the older key names, and a decoy under the default service name that a
    // private data directory must not pick up.
    const QString script = QStringLiteral(
        "set -e\n"
        "printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null\n"
        "printf %s '{\"serverBaseUrl\":\"https://decoy.example\",\"deviceId\":\"d\","
        "\"deviceName\":\"n\",\"token\":\"decoy\",\"activatedAtUtc\":\"t\"}' | secret-tool store "
        "--label=decoy service example.velmora.wallpaper.activation account alice\n"
        "printf %s '{\"server_base_url\":\"https://s.example\",\"device_id\":\"d\","
        "\"device_name\":\"n\",\"token\":\"legacy-token\",\"activated_at_utc\":\"t\"}' | "
        "secret-tool store --label=L service \"$VELMORA_DESKTOP_SERVICE\" account alice\n"
        "VELMORA_DESKTOP_BUS=\"$DBUS_SESSION_BUS_ADDRESS\" exec \"$0\" "
        "--gtest_filter=SecretServiceMigration.*\n");

    QProcess session;
    session.setProcessEnvironment(environment);
    session.setProcessChannelMode(QProcess::MergedChannels);
    session.start(u"sh"_s, {u"-c"_s, script, QCoreApplication::applicationFilePath()});
    ASSERT_TRUE(session.waitForFinished(90000)) << "the session did not finish";
    const QString output = QString::fromUtf8(session.readAll());
    ASSERT_EQ(session.exitCode(), 0) << output.toStdString();
    EXPECT_FALSE(output.contains(u"legacy-token"_s)) << "the secret is never printed";
}

} // namespace
