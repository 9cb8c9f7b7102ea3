#include "core/InstanceLock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QScopeGuard>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;

namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(paths.ensure().ok()); }
    test::TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
};

// A first instance that dies without cleaning up must not lock the user out; a second data
// directory has a lock of its own.
TEST_F(InstanceLockTest, SecondProcessIsRefusedUntilTheFirstEnds) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    InstanceLock first(paths); // built before fork: the child only makes system calls
    pid_t holder = ::fork();
    if (holder == 0) {
        const char answer = first.acquire() ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    const auto end = [&holder] {
        if (holder > 0 && ::kill(holder, SIGKILL) == 0)
            ::waitpid(holder, nullptr, 0);
        holder = -1;
    };
    const auto guard = qScopeGuard(end);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');

    InstanceLock second(paths);
    EXPECT_FALSE(second.acquire());
    const ClientPaths other(temp.path(QStringLiteral("other")));
    ASSERT_TRUE(other.ensure().ok());
    EXPECT_TRUE(InstanceLock(other).acquire());

    end();
    EXPECT_TRUE(second.acquire());
}

TEST_F(InstanceLockTest, NarrowsAnOldFileAndRefusesASymbolicLink) {
    InstanceLock lock(paths);
    test::writeFile(lock.path(), QByteArray(), 0644);
    EXPECT_TRUE(lock.acquire());
    EXPECT_EQ(test::permissions(lock.path()), 0600);
    lock.release();

    QFile::remove(lock.path());
    test::writeFile(temp.path(QStringLiteral("target")), QByteArray(), 0644);
    QFile::link(temp.path(QStringLiteral("target")), lock.path());
    EXPECT_FALSE(InstanceLock(paths).acquire());
    EXPECT_EQ(test::permissions(temp.path(QStringLiteral("target"))), 0644);
}

} // namespace
