#include "core/InstanceLock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::TempDir;

namespace {

// A second process that holds the lock of `paths` until told to exit (or killed).
struct LockHolder {
    explicit LockHolder(const ClientPaths &paths) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        InstanceLock lock(paths); // built before fork: the child only makes system calls
        pid = ::fork();
        if (pid == 0) {
            char answer = lock.acquire() ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            ::close(release[1]);
            (void)!::read(release[0], &answer, 1); // returns when the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd = release[1];
        char answer = 0;
        acquired = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~LockHolder() { finish(); }

    // Lets the child exit on its own, or kills it without giving it a chance to clean up.
    void finish(bool kill = false) {
        if (pid <= 0)
            return;
        if (kill)
            ::kill(pid, SIGKILL);
        ::close(releaseFd);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    pid_t pid = -1;
    int releaseFd = -1;
    bool acquired = false;
};

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(paths.ensure().ok()); }
    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
};

// Whether the first process exits or is killed, the lock is free once it has ended.
TEST_F(InstanceLockTest, SecondProcessIsRefusedUntilTheFirstEnds) {
    for (const bool killed : {false, true}) {
        LockHolder holder(paths);
        ASSERT_TRUE(holder.acquired);
        InstanceLock lock(paths);
        EXPECT_FALSE(lock.acquire());
        EXPECT_FALSE(lock.isHeld());
        holder.finish(killed);
        EXPECT_TRUE(lock.acquire()) << killed;
        EXPECT_TRUE(lock.isHeld());
    }
}

TEST_F(InstanceLockTest, DifferentDataDirectoriesDoNotExcludeEachOther) {
    const ClientPaths other(temp.path(QStringLiteral("other")));
    ASSERT_TRUE(other.ensure().ok());
    LockHolder holder(other);
    ASSERT_TRUE(holder.acquired);
    EXPECT_TRUE(InstanceLock(paths).acquire());
}

TEST_F(InstanceLockTest, AcquireIsIdempotentAndReleaseWithoutLockIsHarmless) {
    InstanceLock lock(paths);
    lock.release();
    EXPECT_TRUE(lock.acquire());
    EXPECT_TRUE(lock.acquire());
    lock.release();
    lock.release();
    EXPECT_TRUE(lock.acquire());
}

TEST_F(InstanceLockTest, WidensNothingAndRefusesASymbolicLinkAndAMissingDirectory) {
    InstanceLock lock(paths);
    ASSERT_TRUE(test::writeFile(lock.path(), QByteArray(), 0644));
    ASSERT_TRUE(lock.acquire());
    EXPECT_EQ(test::permissions(lock.path()), 0600) << "an existing wider file ends owner-only";
    lock.release();

    const QString target = temp.path(QStringLiteral("target"));
    ASSERT_TRUE(test::writeFile(target, QByteArray(), 0644));
    QFile::remove(lock.path());
    ASSERT_TRUE(QFile::link(target, lock.path()));
    EXPECT_FALSE(InstanceLock(paths).acquire());
    EXPECT_EQ(test::permissions(target), 0644);

    EXPECT_FALSE(InstanceLock(ClientPaths(temp.path(QStringLiteral("missing")))).acquire());
}

} // namespace
