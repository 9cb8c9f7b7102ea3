#include "core/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

TEST(UserDefaultsTest, BooleansReadTheWayTheDefaultsSystemDoes) {
    const std::pair<QVariant, bool> cases[] = {
        {-3, true},        {u"Yes"_s, true},    {u"FALSE"_s, false},
        {u" 12 "_s, true}, {u"maybe"_s, false}, {QStringList{u"YES"_s}, false},
    };
    for (const auto &[stored, expected] : cases)
        EXPECT_EQ(defaultsBooleanValue(stored), expected) << stored.toString().toStdString();
}

} // namespace
