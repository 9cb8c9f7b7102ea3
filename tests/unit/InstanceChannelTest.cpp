#include "core/InstanceLock.h"
#include "support/Outcome.h"
#include "support/TempDir.h"
#include "ui/InstanceClient.h"
#include "ui/InstanceServer.h"

#include <gtest/gtest.h>

#include <QLocalServer>
#include <QThread>
#include <QtCore/qtestsupport_core.h>
#include <QtEndian>

#include <atomic>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace velmora;
using namespace std::chrono_literals;

namespace {

const QString kTicket = u"aB3-_"_s.repeated(8);

// The blocking sender on a thread of its own while this thread serves.
bool sendWhilePumping(const ClientPaths &paths, const InstanceRequest &request,
                      const std::function<void()> &meanwhile = {}) {
    std::atomic<bool> taken = false;
    std::unique_ptr<QThread> sender(
        QThread::create([&] { taken = sendToRunningInstance(paths, request, 2s); }));
    sender->start();
    if (meanwhile)
        meanwhile();
    EXPECT_TRUE(QTest::qWaitFor([&] { return sender->isFinished(); }, 4000));
    sender->wait();
    return taken;
}

class InstanceChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(paths.ensure().ok());
        QObject::connect(&server, &InstanceServer::raiseRequested, [this] { ++raises; });
        QObject::connect(&server, &InstanceServer::ticketReceived,
                         [this](const QString &ticket) { tickets.append(ticket); });
    }

    test::TempDir temp;
    ClientPaths paths{temp.path(u"data"_s)};
    InstanceServer server{paths};
    int raises = 0;
    QStringList tickets;
};

TEST_F(InstanceChannelTest, DeliversEachRequestOnceToAnOwnerOnlySocket) {
    // The first sender comes while the server is still starting up, as a second launch may.
    ASSERT_TRUE(sendWhilePumping(paths, {}, [&] {
        QTest::qWait(300);
        EXPECT_EQ(test::failureOf(server.listen()), QString());
    }));
    EXPECT_EQ(test::permissions(server.socketPath()), 0600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return raises == 1; }, 1000));
    // The sender normalises, and so does the server.
    ASSERT_TRUE(
        sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, u" "_s + kTicket + u'\n'}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tickets.size() == 1; }, 1000));
    EXPECT_EQ(tickets, QStringList{kTicket});
    EXPECT_EQ(raises, 1);

    EXPECT_FALSE(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, u"x"_s}));
    // A message may be as long as its header and the payload cap, not a byte longer.
    QByteArray header = InstanceMessage::encode({InstanceRequest::Kind::OpenTicket, kTicket});
    for (const qsizetype length : {InstanceMessage::maximumPayloadSize, qsizetype(4097)}) {
        qToBigEndian(quint32(length), header.data() + InstanceMessage::headerSize - 4);
        EXPECT_EQ(InstanceMessage::decode(header.first(InstanceMessage::headerSize)).state,
                  length > 4096 ? InstanceMessage::Decoded::State::Invalid
                                : InstanceMessage::Decoded::State::Incomplete);
    }
}

// What a crashed instance or a hostile program may leave at the socket path: the listener
// takes the path over (a link removed, never followed) but for a directory, and says what it
// replaced. The sender hands its ticket to nothing a link leads to.
TEST_F(InstanceChannelTest, ListenTakesThePathOverAndTheSenderFollowsNoLink) {
    const QString path = paths.instanceSocket();
    QLocalServer decoy;
    ASSERT_TRUE(decoy.listen(temp.path(u"decoy"_s)));
    // A second name for a socket whose listener then ends: what a crash leaves.
    const auto stale = [&] {
        QLocalServer crashed;
        crashed.listen(temp.path(u"crashed"_s));
        ::link(QFile::encodeName(crashed.fullServerName()).constData(),
               QFile::encodeName(path).constData());
    };
    const auto link = [&] {
        QFile::link(decoy.fullServerName(), path);
        EXPECT_FALSE(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, kTicket}));
    };
    const int foreign = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto bound = [&] {
        sockaddr_un address{AF_UNIX, {}};
        std::strcpy(address.sun_path, QFile::encodeName(path).constData());
        ::bind(foreign, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        ::listen(foreign, 1);
    };
    const auto directory = [&] {
        QDir().mkdir(path);
    };
    // What the log says, or the refusal.
    const std::tuple<const char *, std::function<void()>, const char *> rows[] = {
        {"stale socket", stale, "已移除实例通道位置上的残留的套接字："},
        {"link to a live socket", link, "已移除实例通道位置上的符号链接："},
        {"regular file", [&] { test::writeFile(path, "x"); }, "已移除实例通道位置上的文件："},
        {"foreign live socket", bound, "已移除实例通道位置上的其他程序的套接字："},
        {"directory", directory, "无法建立实例通道："},
    };
    for (const auto &[name, plant, outcome] : rows) {
        SCOPED_TRACE(name);
        plant();
        QStringList logged;
        InstanceServer candidate(paths);
        const QString failure =
            test::failureOf(candidate.listen([&](const QString &line) { logged << line; }));
        const bool refused = !failure.isEmpty();
        EXPECT_EQ((refused ? failure : logged.join(u'|')),
                  QString::fromUtf8(outcome) + path + (refused ? "已被目录占用。" : ""));
        EXPECT_EQ(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, kTicket}), !refused);
        EXPECT_EQ(test::permissions(path) == 0600, !refused);
    }
    ::close(foreign);
    EXPECT_FALSE(decoy.hasPendingConnections());
    EXPECT_NE(test::permissions(decoy.fullServerName()), -1);
}

// An older, wider lock file is narrowed; a link at the lock is never followed.
TEST_F(InstanceChannelTest, TheLockNarrowsAnOldFileAndRefusesASymbolicLink) {
    InstanceLock lock(paths);
    test::writeFile(lock.path(), QByteArray(), 0644);
    EXPECT_TRUE(lock.acquire());
    EXPECT_EQ(test::permissions(lock.path()), 0600);
    lock.release();

    QFile::remove(lock.path());
    test::writeFile(temp.path(u"target"_s), QByteArray(), 0644);
    QFile::link(temp.path(u"target"_s), lock.path());
    EXPECT_FALSE(InstanceLock(paths).acquire());
    EXPECT_EQ(test::permissions(temp.path(u"target"_s)), 0644);
}

} // namespace
