#include "core/PrivateFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::TempDir;

namespace {

class PrivateFileTest : public ::testing::Test {
protected:
    QString file(const QString &name) const { return temp.path(name); }
    TempDir temp;
};

TEST_F(PrivateFileTest, WritesOwnerOnlyFileAndReplacesWiderOneWithoutLeftovers)
{
    const QString target = file(QStringLiteral("record.json"));
    ASSERT_TRUE(test::writeFile(target, "old", 0644));

    ASSERT_TRUE(PrivateFile::writeAtomically(target, QByteArrayLiteral("{\"a\":1}")).ok());

    EXPECT_EQ(test::readAll(target), QByteArrayLiteral("{\"a\":1}"));
    EXPECT_EQ(test::permissions(target), 0600);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("record.json")});
}

TEST_F(PrivateFileTest, OwnerOnlyEvenUnderAPermissiveUmask)
{
    const mode_t previous = ::umask(0);
    const Status written = PrivateFile::writeAtomically(file(QStringLiteral("id")), "x");
    ::umask(previous);
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(test::permissions(file(QStringLiteral("id"))), 0600);
}

TEST_F(PrivateFileTest, RefusesToWriteAtASymbolicLinkAndLeavesItsTargetAlone)
{
    const QString victim = file(QStringLiteral("victim"));
    ASSERT_TRUE(test::writeFile(victim, "keep", 0644));
    const QString link = file(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(victim, link));

    const Status written = PrivateFile::writeAtomically(link, "evil");

    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().description(), QStringLiteral("“%1”：路径是符号链接或链接层级过多。").arg(link));
    EXPECT_TRUE(test::isSymbolicLink(link));
    EXPECT_EQ(test::readAll(victim), QByteArrayLiteral("keep"));
    EXPECT_EQ(test::permissions(victim), 0644);
}

TEST_F(PrivateFileTest, WriteThroughALinkedDirectoryIsRefused)
{
    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("real"))));
    ASSERT_TRUE(QFile::link(file(QStringLiteral("real")), file(QStringLiteral("alias"))));
    EXPECT_FALSE(PrivateFile::writeAtomically(file(QStringLiteral("alias/id")), "x").ok());
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("real/id"))));
}

enum class Item { Private, Loose, Link, Directory, Fifo, Oversized, Missing };

struct ReadCase {
    const char *name;
    Item item;
    PrivateFile::Trust trust;
    bool readable;
};

class PrivateFileRead : public PrivateFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PrivateFileRead, ReadsOnlyTrustworthyRegularFiles)
{
    const QString target = file(QStringLiteral("item"));
    ASSERT_TRUE(test::writeFile(file(QStringLiteral("real")), "content", 0600));
    switch (GetParam().item) {
    case Item::Private:
        ASSERT_TRUE(test::writeFile(target, "content", 0600));
        break;
    case Item::Loose:
        ASSERT_TRUE(test::writeFile(target, "content", 0604));
        break;
    case Item::Link:
        ASSERT_TRUE(QFile::link(file(QStringLiteral("real")), target));
        break;
    case Item::Directory:
        ASSERT_TRUE(QDir().mkpath(target));
        break;
    case Item::Fifo:
        ASSERT_EQ(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        break;
    case Item::Oversized:
        ASSERT_TRUE(test::writeFile(target, QByteArray(17, 'x'), 0600));
        break;
    case Item::Missing:
        break;
    }

    const Result<QByteArray> read = PrivateFile::readNoFollow(target, 16, GetParam().trust);

    ASSERT_EQ(read.ok(), GetParam().readable);
    if (read) {
        EXPECT_EQ(*read, QByteArrayLiteral("content"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Items, PrivateFileRead,
    ::testing::Values(ReadCase{"Private", Item::Private, PrivateFile::Trust::OwnerOnly, true},
                      ReadCase{"LooseButTrustNotAsked", Item::Loose, PrivateFile::Trust::AnyPermissions, true},
                      ReadCase{"LooseAndOwnerOnlyAsked", Item::Loose, PrivateFile::Trust::OwnerOnly, false},
                      ReadCase{"Link", Item::Link, PrivateFile::Trust::AnyPermissions, false},
                      ReadCase{"Directory", Item::Directory, PrivateFile::Trust::AnyPermissions, false},
                      ReadCase{"FifoDoesNotBlock", Item::Fifo, PrivateFile::Trust::AnyPermissions, false},
                      ReadCase{"LargerThanTheLimit", Item::Oversized, PrivateFile::Trust::AnyPermissions, false},
                      ReadCase{"Missing", Item::Missing, PrivateFile::Trust::AnyPermissions, false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
