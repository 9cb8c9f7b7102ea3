#include "core/PrivateFile.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// Under any umask, without leftovers; a link, even to a directory, is never written through.
TEST(PrivateFile, WriteReplacesAWiderFileWithAnOwnerOnlyOneAndRefusesLinks) {
    test::TempDir temp;
    const QString target = temp.path(u"record.json"_s);
    test::writeFile(target, "old", 0644);
    const mode_t previous = ::umask(0);
    EXPECT_EQ(test::failureOf(PrivateFile::writeAtomically(target, "new")), QString());
    ::umask(previous);
    EXPECT_EQ(test::readAll(target), QByteArrayLiteral("new"));
    EXPECT_EQ(test::permissions(target), 0600);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"record.json"_s});

    const QString link = temp.path(u"link"_s);
    QFile::link(target, link);
    QFile::link(temp.path(), temp.path(u"alias"_s));
    EXPECT_EQ(test::failureOf(PrivateFile::writeAtomically(link, "evil")),
              u"“%1”：路径是符号链接或链接层级过多。"_s.arg(link));
    EXPECT_FALSE(PrivateFile::writeAtomically(temp.path(u"alias/id"_s), "x").ok());
    EXPECT_EQ(test::readAll(target), QByteArrayLiteral("new"));
    EXPECT_FALSE(QFile::exists(temp.path(u"id"_s)));
}

TEST(PrivateFile, ReadsOnlyTrustworthyRegularFilesWithinTheLimit) {
    test::TempDir temp;
    const auto file = [&](const char *name) {
        return temp.path(QString::fromLatin1(name));
    };
    test::writeFile(file("private"), "content", 0600);
    test::writeFile(file("loose"), "content", 0604);
    QFile::link(file("private"), file("link"));
    ::mkfifo(QFile::encodeName(file("fifo")).constData(), 0600);
    test::writeFile(file("oversized"), QByteArray(17, 'x'), 0600);

    using enum PrivateFile::Trust;
    const std::tuple<const char *, PrivateFile::Trust, bool> cases[] = {
        {"private", OwnerOnly, true},         {"loose", AnyPermissions, true},
        {"loose", OwnerOnly, false},          {"link", AnyPermissions, false},
        {"fifo", AnyPermissions, false}, // must not block
        {"oversized", AnyPermissions, false},
    };
    for (const auto &[name, trust, readable] : cases) {
        const Result<QByteArray> read = PrivateFile::readNoFollow(file(name), 16, trust);
        EXPECT_EQ(read.ok() ? *read : QByteArray(), readable ? "content" : QByteArray()) << name;
    }
}

} // namespace
