#include "core/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QUuid>

using namespace velmora;

namespace {

QString uniqueSuiteName() {
    return QStringLiteral("example.velmora.test-") +
           QUuid::createUuid().toString(QUuid::WithoutBraces);
}

TEST(UserDefaultsTest, StandardDomainIsTheBundleIdentifierInTheUsersConfigFolder) {
    EXPECT_EQ(UserDefaults::standard().fileName(),
              qEnvironmentVariable("XDG_CONFIG_HOME") +
                  QStringLiteral("/example.velmora.wallpaper.conf"));
}

TEST(UserDefaultsTest, ValuesPersistAcrossInstancesAndSuitesAreSeparateUntilRemoved) {
    const QString firstName = uniqueSuiteName();
    UserDefaults first = UserDefaults::suite(firstName);
    first.setString(QStringLiteral("displayMode"), QStringLiteral("fill"));
    ASSERT_TRUE(QFile::exists(first.fileName())) << "written through at once";

    UserDefaults second = UserDefaults::suite(uniqueSuiteName());
    EXPECT_FALSE(second.contains(QStringLiteral("displayMode")));
    second.setString(QStringLiteral("displayMode"), QStringLiteral("fit"));

    EXPECT_EQ(UserDefaults::suite(firstName).string(QStringLiteral("displayMode")),
              QStringLiteral("fill"));
    EXPECT_EQ(second.string(QStringLiteral("displayMode")), QStringLiteral("fit"));
    EXPECT_FALSE(UserDefaults::standard().contains(QStringLiteral("displayMode")));

    first.removePersistentDomain();
    second.removePersistentDomain();
    EXPECT_FALSE(QFile::exists(first.fileName()));
    EXPECT_FALSE(UserDefaults::suite(firstName).contains(QStringLiteral("displayMode")));
}

TEST(UserDefaultsTest, BooleansReadTheWayTheDefaultsSystemDoes) {
    const std::pair<QVariant, bool> cases[] = {
        {true, true},
        {false, false},
        {0, false},
        {-3, true},
        {0.5, true},
        {QStringLiteral("YES"), true},
        {QStringLiteral("NO"), false},
        {QStringLiteral("Yes"), true},
        {QStringLiteral("true"), true},
        {QStringLiteral("FALSE"), false},
        {QStringLiteral("0"), false},
        {QStringLiteral("12"), true},
        {QStringLiteral(" 1 "), true},
        {QStringLiteral("maybe"), false},
        {QString(), false},
        {QStringList{QStringLiteral("YES")}, false},
        {QVariant(), false},
    };
    for (const auto &[stored, expected] : cases)
        EXPECT_EQ(defaultsBooleanValue(stored), expected) << stored.toString().toStdString();
}

// What another writer (or a hand edit) leaves in the INI file is read with the same rules.
TEST(UserDefaultsTest, HandWrittenFileValuesReadWithTheSameRules) {
    const QString name = uniqueSuiteName();
    const QString file = UserDefaults::suite(name).fileName();
    ASSERT_TRUE(test::writeFile(file, "[General]\nno=NO\nyes=YES\nzero=0\nword=direct\n"));

    const UserDefaults suite = UserDefaults::suite(name);
    EXPECT_FALSE(suite.boolean(QStringLiteral("no")));
    EXPECT_TRUE(suite.boolean(QStringLiteral("yes")));
    EXPECT_TRUE(suite.contains(QStringLiteral("zero")));
    EXPECT_EQ(suite.string(QStringLiteral("word")), QStringLiteral("direct"));
}

} // namespace
