#include "core/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QUuid>

using namespace velmora;

namespace {

TEST(UserDefaultsTest, SuitesPersistSeparatelyFromEachOtherAndTheStandardDomainUntilRemoved) {
    const QString name = QStringLiteral("example.velmora.test-") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces);
    UserDefaults suite = UserDefaults::suite(name);
    suite.setString(QStringLiteral("displayMode"), QStringLiteral("fill"));

    EXPECT_EQ(UserDefaults::suite(name).string(QStringLiteral("displayMode")),
              QStringLiteral("fill"));
    EXPECT_FALSE(UserDefaults::standard().contains(QStringLiteral("displayMode")));

    suite.removePersistentDomain();
    EXPECT_FALSE(QFile::exists(suite.fileName()));
    EXPECT_FALSE(UserDefaults::suite(name).contains(QStringLiteral("displayMode")));
}

TEST(UserDefaultsTest, BooleansReadTheWayTheDefaultsSystemDoes) {
    const std::pair<QVariant, bool> cases[] = {
        {-3, true},
        {0.5, true},
        {QStringLiteral("Yes"), true},
        {QStringLiteral("FALSE"), false},
        {QStringLiteral(" 12 "), true},
        {QStringLiteral("maybe"), false},
        {QStringList{QStringLiteral("YES")}, false},
    };
    for (const auto &[stored, expected] : cases)
        EXPECT_EQ(defaultsBooleanValue(stored), expected) << stored.toString().toStdString();
}

} // namespace
