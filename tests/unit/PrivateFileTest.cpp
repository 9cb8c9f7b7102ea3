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

TEST_F(PrivateFileTest, ReplacesAWiderFileWithAnOwnerOnlyOneUnderAnyUmaskWithoutLeftovers) {
    const QString target = file(QStringLiteral("record.json"));
    ASSERT_TRUE(test::writeFile(target, "old", 0644));

    const mode_t previous = ::umask(0);
    const Status written = PrivateFile::writeAtomically(target, QByteArrayLiteral("{\"a\":1}"));
    ::umask(previous);

    ASSERT_TRUE(written.ok());
    EXPECT_EQ(test::readAll(target), QByteArrayLiteral("{\"a\":1}"));
    EXPECT_EQ(test::permissions(target), 0600);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("record.json")});
}

TEST_F(PrivateFileTest, RefusesToWriteAtASymbolicLinkOrThroughALinkedDirectory) {
    const QString victim = file(QStringLiteral("victim"));
    ASSERT_TRUE(test::writeFile(victim, "keep", 0644));
    const QString link = file(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(victim, link));

    const Status written = PrivateFile::writeAtomically(link, "evil");

    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().description(),
              QStringLiteral("“%1”：路径是符号链接或链接层级过多。").arg(link));
    EXPECT_TRUE(test::isSymbolicLink(link));
    EXPECT_EQ(test::readAll(victim), QByteArrayLiteral("keep"));
    EXPECT_EQ(test::permissions(victim), 0644);

    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("real"))));
    ASSERT_TRUE(QFile::link(file(QStringLiteral("real")), file(QStringLiteral("alias"))));
    EXPECT_FALSE(PrivateFile::writeAtomically(file(QStringLiteral("alias/id")), "x").ok());
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("real/id"))));
}

TEST_F(PrivateFileTest, ReadsOnlyTrustworthyRegularFilesWithinTheLimit) {
    ASSERT_TRUE(test::writeFile(file(QStringLiteral("private")), "content", 0600));
    ASSERT_TRUE(test::writeFile(file(QStringLiteral("loose")), "content", 0604));
    ASSERT_TRUE(QFile::link(file(QStringLiteral("private")), file(QStringLiteral("link"))));
    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("directory"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(file(QStringLiteral("fifo"))).constData(), 0600), 0);
    ASSERT_TRUE(test::writeFile(file(QStringLiteral("oversized")), QByteArray(17, 'x'), 0600));

    using enum PrivateFile::Trust;
    const std::tuple<const char *, PrivateFile::Trust, bool> cases[] = {
        {"private", OwnerOnly, true},         {"loose", AnyPermissions, true},
        {"loose", OwnerOnly, false},          {"link", AnyPermissions, false},
        {"directory", AnyPermissions, false}, {"fifo", AnyPermissions, false}, // must not block
        {"oversized", AnyPermissions, false}, {"missing", AnyPermissions, false},
    };
    for (const auto &[name, trust, readable] : cases) {
        const Result<QByteArray> read =
            PrivateFile::readNoFollow(file(QString::fromLatin1(name)), 16, trust);
        ASSERT_EQ(read.ok(), readable) << name;
        if (read) {
            EXPECT_EQ(*read, QByteArrayLiteral("content")) << name;
        }
    }
}

} // namespace
