// The instance channel between two real processes: a second launch hands its ticket to the
// first, and a first instance that is killed leaves nothing that blocks the next one.
#include "support/Outcome.h"
#include "support/TempDir.h"
#include "ui/InstanceClient.h"
#include "ui/InstanceServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>

using namespace velmora;

namespace {

const char *const kHolderVariable = "VELMORA_TEST_INSTANCE_HOLDER";
const QString kTicket = QStringLiteral("Zz9_-").repeated(9);

// The first instance, run by the test below as a child process of this same binary.
TEST(InstanceChannelProcess, HolderChild) {
    const QString root = qEnvironmentVariable(kHolderVariable);
    if (root.isEmpty())
        GTEST_SKIP() << "only runs as the child of TwoProcesses";
    InstanceServer server{ClientPaths(root)};
    ASSERT_EQ(test::failureOf(server.listen()), QString());
    bool received = false;
    QObject::connect(&server, &InstanceServer::ticketReceived,
                     [&](const QString &ticket) { received = ticket == kTicket; });
    std::printf("@listening\n");
    std::fflush(stdout);
    const QDeadlineTimer deadline(20000);
    while (!received && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf(received ? "@ticket\n" : "@nothing\n");
    std::fflush(stdout);
    // Stays until killed, as a crashed instance would leave its socket behind.
    const QDeadlineTimer linger(20000);
    while (!linger.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool waitForLine(QProcess &process, const QByteArray &line) {
    QByteArray seen;
    const QDeadlineTimer deadline(10000);
    while (!seen.contains(line) && process.waitForReadyRead(int(deadline.remainingTime())))
        seen += process.readAllStandardOutput();
    return seen.contains(line);
}

TEST(InstanceChannelProcess, TwoProcesses) {
    test::TempDir temp;
    const ClientPaths paths(temp.path(QStringLiteral("data")));
    ASSERT_TRUE(paths.ensure().ok());
    QProcess holder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kHolderVariable), paths.root());
    holder.setProcessEnvironment(environment);
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=InstanceChannelProcess.HolderChild")});
    ASSERT_TRUE(waitForLine(holder, "@listening"));

    EXPECT_TRUE(sendToRunningInstance(paths, {InstanceRequest::Kind::OpenTicket, kTicket}));
    EXPECT_TRUE(waitForLine(holder, "@ticket"));
    InstanceServer second(paths);
    EXPECT_EQ(test::failureOf(second.listen()),
              QStringLiteral("已有一个Velmora壁纸实例在使用这个数据目录。"));
    // The refused listener took nothing from the running one.
    EXPECT_TRUE(sendToRunningInstance(paths, {}));

    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(QFileInfo::exists(paths.instanceSocket()));
    EXPECT_EQ(test::failureOf(second.listen()), QString());
}

} // namespace
