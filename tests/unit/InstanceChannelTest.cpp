#include "support/Outcome.h"
#include "support/TempDir.h"
#include "ui/InstanceClient.h"
#include "ui/InstanceServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QThread>

#include <atomic>
#include <functional>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const QString kTicket = QStringLiteral("aB3-_").repeated(8);

bool pumpUntil(const std::function<bool()> &done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// The blocking sender on a thread of its own while this thread serves.
bool sendWhilePumping(const ClientPaths &paths, const InstanceRequest &request,
                      const std::function<void()> &meanwhile = {}) {
    std::atomic<bool> taken = false;
    std::unique_ptr<QThread> sender(
        QThread::create([&] { taken = sendToRunningInstance(paths, request, 2s); }));
    sender->start();
    if (meanwhile)
        meanwhile();
    pumpUntil([&] { return sender->isFinished(); }, 4000);
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
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    InstanceServer server{paths};
    int raises = 0;
    QStringList tickets;
};

TEST_F(InstanceChannelTest, DeliversEachRequestOnceToAnOwnerOnlySocket) {
    // The first sender comes while the server is still starting up, as a second launch may.
    ASSERT_TRUE(sendWhilePumping(paths, {}, [&] {
        pumpUntil([] { return false; }, 300);
        EXPECT_EQ(test::failureOf(server.listen()), QString());
    }));
    EXPECT_EQ(test::permissions(server.socketPath()), 0600);
    ASSERT_TRUE(pumpUntil([&] { return raises == 1; }, 1000));
    // The sender normalises, and so does the server.
    ASSERT_TRUE(sendWhilePumping(
        paths, {InstanceRequest::Kind::OpenTicket, QStringLiteral(" ") + kTicket + u'\n'}));
    ASSERT_TRUE(pumpUntil([&] { return tickets.size() == 1; }, 1000));
    EXPECT_EQ(tickets, QStringList{kTicket});
    EXPECT_EQ(raises, 1);

    EXPECT_FALSE(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, QStringLiteral("x")}));
}

// What a crashed instance or a hostile program may leave at the socket path: only a stale
// socket is replaced, and the sender hands its ticket to nothing else, not even to a live
// socket a link leads to.
TEST_F(InstanceChannelTest, ListenReplacesOnlyAStaleSocketAndTheSenderFollowsNoLink) {
    const QString path = paths.instanceSocket();
    const QString occupied =
        QStringLiteral("无法建立实例通道：") + path + QStringLiteral("已被其他文件占用。");
    QLocalServer decoy;
    ASSERT_TRUE(decoy.listen(temp.path(QStringLiteral("decoy"))));
    // A second name for a socket whose listener then ends: what a crash leaves.
    const auto stale = [&] {
        QLocalServer crashed;
        crashed.listen(temp.path(QStringLiteral("crashed")));
        ::link(QFile::encodeName(crashed.fullServerName()).constData(),
               QFile::encodeName(path).constData());
    };
    const std::tuple<const char *, std::function<void()>, QString> rows[] = {
        {"stale socket", stale, QString()},
        {"link to a live socket", [&] { QFile::link(decoy.fullServerName(), path); }, occupied},
        {"regular file", [&] { test::writeFile(path, "keep"); }, occupied},
    };
    for (const auto &[name, plant, failure] : rows) {
        SCOPED_TRACE(name);
        QFile::remove(path);
        plant();
        ASSERT_NE(test::permissions(path), -1);
        InstanceServer candidate(paths);
        EXPECT_EQ(test::failureOf(candidate.listen()), failure);
        EXPECT_EQ(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, kTicket}),
                  failure.isEmpty());
        if (failure.isEmpty())
            EXPECT_EQ(test::permissions(path), 0600);
        else
            EXPECT_NE(test::permissions(path), -1); // left where it was
    }
    EXPECT_FALSE(decoy.hasPendingConnections());
}

} // namespace
