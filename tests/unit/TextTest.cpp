#include "core/Text.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace velmora;

TEST(Text, TrimsEveryKindOfBlankButKeepsInnerText) {
    EXPECT_EQ(Text::trimmed(u" \t\r\n\u3000\u00a0\u2028 a b \u0085"_s), u"a b"_s);
    EXPECT_TRUE(Text::isBlank(u" \n\u3000"_s));
}

TEST(Text, CountsAndCutsUserPerceivedCharacters) {
    // A flag, "e" + combining acute, a family emoji (ZWJ sequence) and a CJK character.
    const QString text =
        u"\U0001F1E8\U0001F1F3e\u0301\U0001F468\u200D\U0001F469\u200D\U0001F467中"_s;
    EXPECT_EQ(Text::userPerceivedLength(text), 4);
    EXPECT_EQ(Text::userPerceivedPrefix(text, 2), u"\U0001F1E8\U0001F1F3e\u0301"_s);
    EXPECT_EQ(Text::userPerceivedPrefix(text, 10), text);
}
