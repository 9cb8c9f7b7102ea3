// The one-time migration of a credential that older versions kept in the keychain, against a
// real Secret Service (gnome-keyring) on a private session bus. The test binary runs itself a
// second time inside `dbus-run-session`; that inner run does the load and reports through its
// exit status, and the outer run checks what was left on disk.
#include "core/KeychainStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

using namespace velmora;
using velmora::test::TempDir;

namespace {

const QString kAccount = QStringLiteral("alice");

// The older key names, as an earlier version wrote them.
const QByteArray kLegacyItem = QByteArrayLiteral(
    R"({"server_base_url":"https://wallpaper.velmora.example","device_id":"ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12",)"
    R"("device_name":"书房","token":"legacy-secret-token","activated_at_utc":"2024-05-01T08:00:00Z"})");

const QByteArray kStoredRecord = QByteArrayLiteral(
    "{\"activatedAtUtc\":\"2024-05-01T08:00:00Z\","
    "\"deviceId\":\"ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12\","
    "\"deviceName\":\"书房\",\"serverBaseUrl\":\"https://"
    "wallpaper.velmora.example\",\"token\":\"legacy-secret-token\"}");

bool isInnerRun() {
    return qEnvironmentVariable("VELMORA_DESKTOP_ROLE") == QLatin1String("inner");
}

class SecretServiceMigration : public ::testing::Test {
protected:
    void SetUp() override {
        if (isInnerRun()) {
            // The test main hides the session bus from every test; this one brought its own.
            qputenv("DBUS_SESSION_BUS_ADDRESS", qgetenv("VELMORA_DESKTOP_BUS"));
            return;
        }
        for (const char *tool : {"dbus-run-session", "gnome-keyring-daemon", "secret-tool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    }

    // Runs `storeItems` (a shell fragment) and then this very test inside a fresh session bus
    // whose services see only the private home. Returns the inner run's exit status.
    int runInsideSession(const QString &storeItems) {
        const QString home = temp.path(QStringLiteral("home")),
                      runtime = temp.path(QStringLiteral("runtime"));
        QDir().mkpath(home);
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);

        // Set before the bus starts: the services it activates inherit the bus's environment.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        for (const auto &[name, value] : std::initializer_list<std::pair<const char *, QString>>{
                 {"HOME", home},
                 {"XDG_RUNTIME_DIR", runtime},
                 {"XDG_DATA_HOME", home + QStringLiteral("/.local/share")},
                 {"XDG_CONFIG_HOME", home + QStringLiteral("/.config")},
                 {"XDG_CACHE_HOME", home + QStringLiteral("/.cache")},
                 {"VELMORA_DESKTOP_ROLE", QStringLiteral("inner")},
                 {"VELMORA_DESKTOP_DATA", paths.root()},
                 {"VELMORA_DESKTOP_ITEM", QString::fromUtf8(kLegacyItem)},
                 {"VELMORA_DESKTOP_SERVICE", KeychainStore::serviceName(paths)}})
            environment.insert(QLatin1String(name), value);

        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        const QString filter =
            QStringLiteral("--gtest_filter=%1.%2")
                .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name()));
        const QString script =
            QStringLiteral(
                "set -e\n"
                "printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null\n") +
            storeItems +
            QStringLiteral(
                "VELMORA_DESKTOP_BUS=\"$DBUS_SESSION_BUS_ADDRESS\" exec \"$0\" \"$1\"\n");

        QProcess session;
        session.setProcessEnvironment(environment);
        session.setProcessChannelMode(QProcess::MergedChannels);
        session.start(QStringLiteral("dbus-run-session"),
                      {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                       QCoreApplication::applicationFilePath(), filter});
        if (!session.waitForFinished(90000)) {
            session.kill();
            session.waitForFinished();
            ADD_FAILURE() << "the session did not finish:\n" << session.readAll().toStdString();
            return -1;
        }
        innerOutput = QString::fromUtf8(session.readAll());
        return session.exitStatus() == QProcess::NormalExit ? session.exitCode() : -1;
    }

    TempDir temp;
    ClientPaths paths{isInnerRun() ? qEnvironmentVariable("VELMORA_DESKTOP_DATA")
                                   : temp.path(QStringLiteral("data"))};
    QString innerOutput;
};

TEST_F(SecretServiceMigration, LegacyItemOfThisDataDirectoryIsCopiedIntoThePrivateFile) {
    if (isInnerRun()) {
        ASSERT_EQ(KeychainStore::serviceName(paths),
                  qEnvironmentVariable("VELMORA_DESKTOP_SERVICE"));
        const auto loaded = KeychainStore(paths, kAccount).load();
        ASSERT_TRUE(loaded.ok()) << loaded.error().description().toStdString();
        ASSERT_TRUE(loaded->has_value());
        EXPECT_EQ((*loaded)->token, QStringLiteral("legacy-secret-token"));
        EXPECT_EQ((*loaded)->deviceName, QStringLiteral("书房"));
        return;
    }

    // A decoy under the default service name: a private data directory must not pick it up.
    const int status = runInsideSession(
        QStringLiteral("printf %s "
                       "'{\"serverBaseUrl\":\"https://"
                       "decoy.example\",\"deviceId\":\"d\",\"deviceName\":\"n\",\"token\":"
                       "\"decoy\",\"activatedAtUtc\":\"t\"}'"
                       " | secret-tool store --label=decoy service "
                       "example.velmora.wallpaper.activation account alice\n"
                       "printf %s \"$VELMORA_DESKTOP_ITEM\" | secret-tool store --label=L service "
                       "\"$VELMORA_DESKTOP_SERVICE\" account alice\n"));

    ASSERT_EQ(status, 0) << innerOutput.toStdString();
    EXPECT_EQ(test::readAll(paths.activationFallback()), kStoredRecord);
    EXPECT_EQ(test::permissions(paths.activationFallback()), 0600);
    EXPECT_EQ(test::readAll(paths.credentialStorageMarker()), QByteArrayLiteral("local-file-v2\n"));
    EXPECT_EQ(test::permissions(paths.credentialStorageMarker()), 0600);
    EXPECT_FALSE(innerOutput.contains(QStringLiteral("legacy-secret-token")));
}

TEST_F(SecretServiceMigration, SessionWithoutTheItemAnswersNoneAndWritesTheMarker) {
    if (isInnerRun()) {
        QElapsedTimer timer;
        timer.start();
        const auto loaded = KeychainStore(paths, kAccount).load();
        ASSERT_TRUE(loaded.ok());
        EXPECT_EQ(*loaded, std::nullopt);
        EXPECT_LT(timer.elapsed(), 3000);
        return;
    }

    const int status = runInsideSession(QString());

    ASSERT_EQ(status, 0) << innerOutput.toStdString();
    EXPECT_FALSE(QFile::exists(paths.activationFallback()));
    EXPECT_EQ(test::readAll(paths.credentialStorageMarker()), QByteArrayLiteral("local-file-v2\n"));
}

} // namespace
