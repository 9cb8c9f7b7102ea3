#include "core/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QUuid>

using namespace velmora;

namespace {

QString uniqueSuiteName()
{
    return QStringLiteral("example.velmora.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

TEST(UserDefaultsTest, StandardDomainIsTheBundleIdentifierInTheUsersConfigFolder)
{
    EXPECT_EQ(UserDefaults::standard().fileName(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/example.velmora.wallpaper.conf"));
}

TEST(UserDefaultsTest, ValuesPersistAcrossInstancesAndSuitesAreSeparate)
{
    const QString firstName = uniqueSuiteName();
    UserDefaults first = UserDefaults::suite(firstName);
    first.setString(QStringLiteral("displayMode"), QStringLiteral("fill"));
    ASSERT_TRUE(QFile::exists(first.fileName())) << "written through at once";

    UserDefaults second = UserDefaults::suite(uniqueSuiteName());
    EXPECT_FALSE(second.contains(QStringLiteral("displayMode")));
    second.setString(QStringLiteral("displayMode"), QStringLiteral("fit"));

    EXPECT_EQ(UserDefaults::suite(firstName).string(QStringLiteral("displayMode")), QStringLiteral("fill"));
    EXPECT_EQ(second.string(QStringLiteral("displayMode")), QStringLiteral("fit"));
    EXPECT_FALSE(UserDefaults::standard().contains(QStringLiteral("displayMode")));
    first.removePersistentDomain();
    second.removePersistentDomain();
}

TEST(UserDefaultsTest, RemovingASuiteDeletesItsFileAndValues)
{
    const QString name = uniqueSuiteName();
    UserDefaults suite = UserDefaults::suite(name);
    suite.setBoolean(QStringLiteral("autoUpdateEnabled"), false);
    ASSERT_TRUE(QFile::exists(suite.fileName()));

    suite.removePersistentDomain();

    EXPECT_FALSE(QFile::exists(suite.fileName()));
    EXPECT_FALSE(UserDefaults::suite(name).contains(QStringLiteral("autoUpdateEnabled")));
}

struct BooleanCase {
    const char *name;
    QVariant stored;
    bool expected;
};

class DefaultsBoolean : public ::testing::TestWithParam<BooleanCase> {};

TEST_P(DefaultsBoolean, ReadsTheWayTheDefaultsSystemDoes)
{
    EXPECT_EQ(defaultsBooleanValue(GetParam().stored), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DefaultsBoolean,
    ::testing::Values(BooleanCase{"BoolTrue", true, true}, BooleanCase{"BoolFalse", false, false},
                      BooleanCase{"IntZero", 0, false}, BooleanCase{"IntOne", 1, true},
                      BooleanCase{"NegativeInt", -3, true}, BooleanCase{"DoubleHalf", 0.5, true},
                      BooleanCase{"TextYES", QStringLiteral("YES"), true},
                      BooleanCase{"TextNO", QStringLiteral("NO"), false},
                      BooleanCase{"TextYesMixedCase", QStringLiteral("Yes"), true},
                      BooleanCase{"TextTrue", QStringLiteral("true"), true},
                      BooleanCase{"TextFALSE", QStringLiteral("FALSE"), false},
                      BooleanCase{"TextZero", QStringLiteral("0"), false},
                      BooleanCase{"TextTwelve", QStringLiteral("12"), true},
                      BooleanCase{"TextPaddedOne", QStringLiteral(" 1 "), true},
                      BooleanCase{"TextGarbage", QStringLiteral("maybe"), false},
                      BooleanCase{"EmptyText", QString(), false},
                      BooleanCase{"List", QStringList{QStringLiteral("YES")}, false},
                      BooleanCase{"Absent", QVariant(), false}),
    [](const auto &info) { return std::string(info.param.name); });

// What another writer (or a hand edit) leaves in the INI file is read with the same rules.
TEST(UserDefaultsTest, HandWrittenFileValuesReadWithTheSameRules)
{
    const QString name = uniqueSuiteName();
    const QString file = UserDefaults::suite(name).fileName();
    ASSERT_TRUE(test::writeFile(file, "[General]\nno=NO\nyes=YES\nzero=0\nword=direct\n"));

    const UserDefaults suite = UserDefaults::suite(name);
    EXPECT_FALSE(suite.boolean(QStringLiteral("no")));
    EXPECT_TRUE(suite.boolean(QStringLiteral("yes")));
    EXPECT_FALSE(suite.boolean(QStringLiteral("zero")));
    EXPECT_TRUE(suite.contains(QStringLiteral("zero")));
    EXPECT_EQ(suite.string(QStringLiteral("word")), QStringLiteral("direct"));
}

} // namespace
