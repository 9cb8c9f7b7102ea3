#include "core/InstanceLock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// An older, wider lock file is narrowed; a link at the lock is never followed.
TEST(InstanceLockTest, NarrowsAnOldFileAndRefusesASymbolicLink) {
    test::TempDir temp;
    const ClientPaths paths(temp.path(u"data"_s));
    ASSERT_TRUE(paths.ensure().ok());
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
