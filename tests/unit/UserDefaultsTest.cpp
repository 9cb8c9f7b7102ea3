#include "core/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

TEST(UserDefaultsTest, BooleansReadTheWayTheDefaultsSystemDoes) {
    const std::pair<QVariant, bool> cases[] = {
        {-3, true},
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
