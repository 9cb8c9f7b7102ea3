#include "platform/linux/SecretServiceKeychain.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::test::ScopedEnvironment;
using namespace std::chrono_literals;

namespace {

// How long a lookup took, in milliseconds; a lookup here never finds anything.
qint64 lookupTime(std::chrono::milliseconds deadline) {
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(platform::SecretServiceKeychain(deadline)
                     .lookup(u"alice"_s, u"example.velmora.wallpaper.activation"_s)
                     .answered);
    return timer.elapsed();
}

// The legacy lookup runs on every first start: without a reachable bus it answers none at once,
// and a bus that never answers is abandoned at the deadline.
TEST(SecretServiceKeychainTest, NoBusAnswersAtOnceAndASilentOneAtTheDeadline) {
    test::TempDir temp;
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", temp.path().toUtf8());
    EXPECT_LT(lookupTime(10s), 200);

    // Accepts connections into its backlog but never answers: a hung per-user bus.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(temp.path(u"bus"_s));
    ASSERT_LT(size_t(path.size()), sizeof(address.sun_path));
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 8), 0);

    const ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path);
    const qint64 elapsed = lookupTime(300ms);
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 1500);
    ::close(listener);
}

} // namespace
