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
class LockHolder {
public:
    explicit LockHolder(const ClientPaths &paths)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        InstanceLock lock(paths); // built before fork: the child only makes system calls
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const char answer = lock.acquire() ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            char ignored;
            (void)!::read(release[0], &ignored, 1); // returns when the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char answer = 0;
        m_acquired = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }

    ~LockHolder() { finish(); }

    bool acquired() const { return m_acquired; }

    // Lets the child exit on its own, or kills it without giving it a chance to clean up.
    void finish(bool kill = false)
    {
        if (m_pid <= 0)
            return;
        if (kill)
            ::kill(m_pid, SIGKILL);
        ::close(m_release);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_acquired = false;
};

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(paths.ensure().ok()); }
    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
};

struct ExitCase {
    const char *name;
    bool killed;
};

class InstanceLockAcrossProcesses : public InstanceLockTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(InstanceLockAcrossProcesses, SecondProcessIsRefusedUntilTheFirstEnds)
{
    LockHolder holder(paths);
    ASSERT_TRUE(holder.acquired());

    InstanceLock lock(paths);
    EXPECT_FALSE(lock.acquire());
    EXPECT_FALSE(lock.isHeld());

    holder.finish(GetParam().killed);
    EXPECT_TRUE(lock.acquire());
    EXPECT_TRUE(lock.isHeld());
}

INSTANTIATE_TEST_SUITE_P(Exits, InstanceLockAcrossProcesses,
                         ::testing::Values(ExitCase{"Exited", false}, ExitCase{"Killed", true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(InstanceLockTest, DifferentDataDirectoriesDoNotExcludeEachOther)
{
    LockHolder holder(ClientPaths(temp.path(QStringLiteral("other"))));
    ASSERT_TRUE(ClientPaths(temp.path(QStringLiteral("other"))).ensure().ok());
    InstanceLock lock(paths);
    EXPECT_TRUE(lock.acquire());
}

TEST_F(InstanceLockTest, AcquireIsIdempotentAndReleaseWithoutLockIsHarmless)
{
    InstanceLock lock(paths);
    lock.release();
    EXPECT_TRUE(lock.acquire());
    EXPECT_TRUE(lock.acquire());
    lock.release();
    lock.release();
    EXPECT_TRUE(lock.acquire());
}

TEST_F(InstanceLockTest, ExistingWiderFileEndsOwnerOnly)
{
    InstanceLock lock(paths);
    ASSERT_TRUE(test::writeFile(lock.path(), QByteArray(), 0644));
    ASSERT_TRUE(lock.acquire());
    EXPECT_EQ(test::permissions(lock.path()), 0600);
}

TEST_F(InstanceLockTest, RefusesASymbolicLinkAndAMissingDirectory)
{
    InstanceLock lock(paths);
    const QString target = temp.path(QStringLiteral("target"));
    ASSERT_TRUE(test::writeFile(target, QByteArray(), 0644));
    ASSERT_TRUE(QFile::link(target, lock.path()));
    EXPECT_FALSE(lock.acquire());
    EXPECT_EQ(test::permissions(target), 0644);

    InstanceLock nowhere(ClientPaths(temp.path(QStringLiteral("missing"))));
    EXPECT_FALSE(nowhere.acquire());
}

} // namespace
