#include "platform/linux/SecretServiceKeychain.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::TempDir;
using namespace std::chrono_literals;

namespace {

// Runs the lookup with a private bus environment and restores the real one afterwards.
class SecretServiceKeychainTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            saved.emplace_back(name, qgetenv(name));
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", temp.path().toUtf8());
    }
    void TearDown() override {
        for (const auto &[name, value] : saved) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
        if (listener >= 0)
            ::close(listener);
    }

    // A socket that accepts connections into its backlog but never answers: a hung bus.
    void listenSilently(const QString &path) {
        listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        ASSERT_LT(size_t(native.size()), sizeof(address.sun_path));
        std::copy(native.begin(), native.end(), address.sun_path);
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ASSERT_EQ(::listen(listener, 8), 0);
    }

    std::optional<QByteArray> timedLookup(const platform::SecretServiceKeychain &keychain) {
        QElapsedTimer timer;
        timer.start();
        std::optional<QByteArray> answer = keychain.lookup(
            QStringLiteral("alice"), QStringLiteral("example.velmora.wallpaper.activation"));
        elapsedMs = timer.elapsed();
        return answer;
    }

    TempDir temp;
    std::vector<std::pair<const char *, QByteArray>> saved;
    int listener = -1;
    qint64 elapsedMs = 0;
};

TEST_F(SecretServiceKeychainTest, NoSessionBusAnswersNoneAtOnce) {
    EXPECT_FALSE(platform::SecretServiceKeychain::sessionBusConfigured());
    EXPECT_EQ(timedLookup(platform::SecretServiceKeychain(10s)), std::nullopt);
    EXPECT_LT(elapsedMs, 200);

    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(timedLookup(platform::SecretServiceKeychain(10s)), std::nullopt);
    EXPECT_LT(elapsedMs, 200);
}

TEST_F(SecretServiceKeychainTest, UnreachableBusAddressAnswersNoneQuickly) {
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            ("unix:path=" + temp.path(QStringLiteral("no-such-bus"))).toUtf8());
    EXPECT_TRUE(platform::SecretServiceKeychain::sessionBusConfigured());
    EXPECT_EQ(timedLookup(platform::SecretServiceKeychain(10s)), std::nullopt);
    EXPECT_LT(elapsedMs, 2000);
}

// The per-user bus socket counts as a session bus; one that never answers is abandoned at the
// deadline.
TEST_F(SecretServiceKeychainTest, SilentPerUserBusIsAbandonedAtTheDeadline) {
    listenSilently(temp.path(QStringLiteral("bus")));
    EXPECT_TRUE(platform::SecretServiceKeychain::sessionBusConfigured());
    qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + temp.path(QStringLiteral("bus"))).toUtf8());

    EXPECT_EQ(timedLookup(platform::SecretServiceKeychain(300ms)), std::nullopt);
    EXPECT_GE(elapsedMs, 290);
    EXPECT_LT(elapsedMs, 1500);
}

} // namespace
