#include "support/Outcome.h"
#include "support/TempDir.h"
#include "ui/InstanceClient.h"
#include "ui/InstanceServer.h"
#include "ui/InstanceSocketPath.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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
                      std::chrono::milliseconds deadline = 2s,
                      const std::function<void()> &meanwhile = {}) {
    std::atomic<bool> taken = false;
    std::unique_ptr<QThread> sender(
        QThread::create([&] { taken = sendToRunningInstance(paths, request, deadline); }));
    sender->start();
    if (meanwhile)
        meanwhile();
    pumpUntil([&] { return sender->isFinished(); }, int(deadline.count()) + 2000);
    sender->wait();
    return taken;
}

sockaddr_un addressOf(const QString &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    return address;
}

// A peer that speaks raw bytes, as a hostile or broken program would.
class RawPeer {
public:
    explicit RawPeer(const QString &path)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_un address = addressOf(path);
        m_connected =
            ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~RawPeer() { ::close(m_fd); }
    bool connected() const { return m_connected; }
    void send(const QByteArray &bytes) {
        (void)!::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // True once the server has closed the connection; `answer` collects whatever it sent.
    bool closedByServer() {
        pollfd entry{m_fd, POLLIN, 0};
        if (::poll(&entry, 1, 0) <= 0)
            return false;
        char buffer[64];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0)
            answer.append(buffer, got);
        return got <= 0;
    }
    QByteArray answer;

private:
    int m_fd;
    bool m_connected = false;
};

QByteArray header(char version, char kind, quint32 length) {
    char size[4];
    qToBigEndian(length, size);
    return QByteArray("VELMORA") + version + kind + QByteArray(size, 4);
}

QByteArray ticketMessage(const QByteArray &payload) {
    return header(1, 2, quint32(payload.size())) + payload;
}

class InstanceChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(paths.ensure().ok());
        QObject::connect(&server, &InstanceServer::raiseRequested, [this] { ++raises; });
        QObject::connect(&server, &InstanceServer::ticketReceived,
                         [this](const QString &ticket) { tickets.append(ticket); });
    }
    int signals_() const { return raises + int(tickets.size()); }

    test::TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    InstanceServer server{paths};
    int raises = 0;
    QStringList tickets;
};

TEST_F(InstanceChannelTest, DeliversEachRequestOnceToAnOwnerOnlySocket) {
    ASSERT_EQ(test::failureOf(server.listen()), QString());
    EXPECT_EQ(server.socketPath(), paths.instanceSocket());
    EXPECT_EQ(test::permissions(server.socketPath()), 0600);

    ASSERT_TRUE(sendWhilePumping(paths, {}));
    ASSERT_TRUE(pumpUntil([&] { return raises == 1; }, 1000));
    // The sender normalises, and so does the server.
    ASSERT_TRUE(sendWhilePumping(
        paths, {InstanceRequest::Kind::OpenTicket, QStringLiteral(" ") + kTicket + u'\n'}));
    ASSERT_TRUE(pumpUntil([&] { return tickets.size() == 1; }, 1000));
    EXPECT_EQ(tickets, QStringList{kTicket});
    EXPECT_EQ(raises, 1);

    EXPECT_FALSE(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, QStringLiteral("x")}));
}

// Each hostile peer is dropped within the second it is given, is never answered, and leaves the
// server serving the next user.
TEST_F(InstanceChannelTest, HostilePeersAreDroppedWithoutASignal) {
    ASSERT_TRUE(server.listen().ok());
    const QByteArray valid = ticketMessage(kTicket.toUtf8());
    QByteArray withNul = kTicket.toUtf8();
    withNul[20] = '\0';
    struct Row {
        const char *name;
        QList<QByteArray> chunks; // sent 200 ms apart
    };
    const Row rows[] = {
        {"garbage", {"GET / HTTP/1.0\r\n\r\n"}},
        {"wrong version", {header(2, 1, 0)}},
        {"oversize length announced", {header(1, 2, 1u << 20)}},
        {"stalls without a byte", {}},
        {"sends slowly",
         {valid.left(5), valid.mid(5, 5), valid.mid(10, 5), valid.mid(15, 5), valid.mid(20, 5),
          valid.mid(25, 5), valid.mid(30)}},
        {"ticket with a NUL", {ticketMessage(withNul)}},
        {"extra bytes after a ticket", {valid + 'X'}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        RawPeer peer(server.socketPath());
        ASSERT_TRUE(peer.connected());
        QElapsedTimer clock;
        clock.start();
        for (const QByteArray &chunk : row.chunks) {
            if (peer.closedByServer())
                break;
            peer.send(chunk);
            pumpUntil([] { return false; }, 200);
        }
        EXPECT_TRUE(pumpUntil([&] { return peer.closedByServer(); }, 1500));
        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_EQ(peer.answer, QByteArray());
    }
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(signals_(), 0);

    ASSERT_TRUE(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, kTicket}));
    ASSERT_TRUE(pumpUntil([&] { return tickets.size() == 1; }, 1000));
    EXPECT_EQ(signals_(), 1);
}

// A second launch may come while the first is still starting up.
TEST_F(InstanceChannelTest, SenderWaitsForAServerThatIsStillStarting) {
    ASSERT_TRUE(sendWhilePumping(paths, {}, 2s, [&] {
        pumpUntil([] { return false; }, 300);
        ASSERT_TRUE(server.listen().ok());
    }));
    EXPECT_TRUE(pumpUntil([&] { return raises == 1; }, 1000));
}

TEST_F(InstanceChannelTest, SenderNeverFollowsALink) {
    const ClientPaths elsewhere(temp.path(QStringLiteral("elsewhere")));
    ASSERT_TRUE(elsewhere.ensure().ok());
    InstanceServer decoy(elsewhere);
    ASSERT_TRUE(decoy.listen().ok());
    int decoyTickets = 0;
    QObject::connect(&decoy, &InstanceServer::ticketReceived, [&] { ++decoyTickets; });

    ASSERT_TRUE(QFile::link(decoy.socketPath(), paths.instanceSocket()));
    EXPECT_FALSE(sendWhilePumping(paths, {InstanceRequest::Kind::OpenTicket, kTicket}, 2s));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(decoyTickets, 0);
}

void bindAndClose(const QString &path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = addressOf(path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
}

// What a crashed instance or a hostile program may leave at the socket path.
TEST_F(InstanceChannelTest, ListenReplacesOnlyAStaleSocket) {
    const QString path = paths.instanceSocket();
    const QString occupied =
        QStringLiteral("无法建立实例通道：") + path + QStringLiteral("已被其他文件占用。");
    const QString target = temp.path(QStringLiteral("target"));
    struct Row {
        const char *name;
        std::function<void()> plant;
        QString failure;
    };
    const Row rows[] = {
        {"stale socket", [&] { bindAndClose(path); }, QString()},
        {"link to a stale socket",
         [&] {
             bindAndClose(target);
             QFile::link(target, path);
         },
         occupied},
        {"regular file", [&] { test::writeFile(path, "keep"); }, occupied},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(path);
        QFile::remove(target);
        row.plant();
        InstanceServer candidate(paths);
        EXPECT_EQ(test::failureOf(candidate.listen()), row.failure);
        if (row.failure.isEmpty()) {
            EXPECT_EQ(test::permissions(path), 0600);
            EXPECT_TRUE(sendWhilePumping(paths, {}));
        } else {
            struct stat info {};
            EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
            EXPECT_FALSE(S_ISSOCK(info.st_mode));
        }
    }
}

// `base` extended by directory names to exactly `length` characters.
QString rootOfLength(QString base, qsizetype length) {
    while (base.size() < length) {
        qsizetype name = std::min<qsizetype>(length - base.size() - 1, 200);
        if (length - base.size() - 1 - name == 1)
            --name; // a last name of nothing would be cleaned away
        base += u'/' + QString(name, u'n');
    }
    return base;
}

// Socket addresses are short; a deeper data directory listens in a private place instead.
TEST(InstanceSocketLocation, DeepDataDirectoriesStillMeet) {
    test::TempDir temp;
    const QString runtime = temp.path(QStringLiteral("run"));
    const QString tmp = temp.path(QStringLiteral("tmp"));
    QDir().mkpath(runtime);
    QDir().mkpath(tmp);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    const test::ScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp));
    const QString tmpPrivate = tmp + QStringLiteral("/velmora-") + QString::number(::getuid());

    struct Row {
        const char *name;
        int socketPathLength;
        QByteArray runtimeDirectory;
        QString expectedDirectory; // empty: the data directory itself
    };
    const Row rows[] = {
        {"fits exactly", 106, QFile::encodeName(runtime), QString()},
        {"one byte too long, runtime directory", 107, QFile::encodeName(runtime), runtime},
        {"far too long, no runtime directory", 400, QByteArray(), tmpPrivate},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const test::ScopedEnvironment xdg("XDG_RUNTIME_DIR", row.runtimeDirectory);
        const ClientPaths paths(rootOfLength(temp.path(QStringLiteral("d")),
                                             row.socketPathLength - 15 /* "/.instance.sock" */));
        ASSERT_EQ(paths.instanceSocket().size(), row.socketPathLength);
        ASSERT_TRUE(paths.ensure().ok());

        InstanceServer server(paths);
        ASSERT_EQ(test::failureOf(server.listen()), QString());
        const QString directory = QFileInfo(server.socketPath()).path();
        EXPECT_EQ(directory,
                  row.expectedDirectory.isEmpty() ? paths.root() : row.expectedDirectory);
        EXPECT_EQ(test::permissions(server.socketPath()), 0600);
        EXPECT_EQ(test::permissions(directory), 0700);
        int raises = 0;
        QObject::connect(&server, &InstanceServer::raiseRequested, [&] { ++raises; });
        EXPECT_TRUE(sendWhilePumping(paths, {}));
        EXPECT_TRUE(pumpUntil([&] { return raises == 1; }, 1000));
    }
}

} // namespace
