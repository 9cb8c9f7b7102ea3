#include "core/ActivationState.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// The stored form must stay byte for byte what earlier versions wrote and read.
TEST(ActivationStateEncoding, IsCompactSortedAndLeavesSlashesAlone) {
    const ActivationState record{u"https://wallpaper.velmora.example"_s, u"0123abcd"_s,
                                 u"小明的电脑"_s, u"tok/en+secret"_s, u"2026-08-31T00:00:00Z"_s};
    EXPECT_EQ(
        QString::fromUtf8(record.encoded()),
        QStringLiteral("{\"activatedAtUtc\":\"2026-08-31T00:00:00Z\",\"deviceId\":\"0123abcd\","
                       "\"deviceName\":\"小明的电脑\",\"serverBaseUrl\":\"https://"
                       "wallpaper.velmora.example\",\"token\":\"tok/en+secret\"}"));
}

// Each JSON text with the exact failure, or "" when it gives the record.
TEST(ActivationStateDecoding, ReadsBothKeySetsAndRefusesIncompleteRecords) {
    const ActivationState record{u"https://s"_s, u"d"_s, u"n"_s, u"t"_s, u"a"_s};
    const std::pair<QByteArray, const char *> cases[] = {
        {R"({"server_base_url":"https://s","device_id":"d","device_name":"n","token":"t","activated_at_utc":"a"})",
         ""},
        {R"({"serverBaseUrl":"  ","server_base_url":"https://s","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a"})",
         ""},
        {R"({"serverBaseUrl":"https://s","server_base_url":"https://old","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a"})",
         ""},
        {R"({"serverBaseUrl":"https://s","deviceId":"d","deviceName":"n","token":42,"activatedAtUtc":"a"})",
         "激活凭证字段不完整。"},
    };
    for (const auto &[json, failure] : cases) {
        const Result<ActivationState> result = ActivationState::decodeCompatible(json);
        EXPECT_EQ(test::failureOf(result), QString::fromUtf8(failure)) << json.toStdString();
        EXPECT_TRUE(!result.ok() || *result == record) << json.toStdString();
    }
}

} // namespace
