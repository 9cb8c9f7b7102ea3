#include "core/ActivationState.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const ActivationState kRecord{
    QStringLiteral("https://wallpaper.velmora.example"),
    QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"),
    QStringLiteral("小明的电脑"),
    QStringLiteral("tok/en+secret"),
    QStringLiteral("2026-08-31T00:00:00Z"),
};

TEST(ActivationStateEncoding, IsCompactSortedAndLeavesSlashesAlone) {
    EXPECT_EQ(
        kRecord.encoded(),
        QByteArray(
            "{\"activatedAtUtc\":\"2026-08-31T00:00:00Z\","
            "\"deviceId\":\"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\","
            "\"deviceName\":\"") +
            QStringLiteral("小明的电脑").toUtf8() +
            QByteArray("\",\"serverBaseUrl\":\"https://wallpaper.velmora.example\","
                       "\"token\":\"tok/en+secret\"}"));
    const Result<ActivationState> decoded = ActivationState::decodeCompatible(kRecord.encoded());
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(*decoded, kRecord);
}

TEST(ActivationStateEncoding, EscapesQuotesAndControlCharactersReversibly) {
    ActivationState odd = kRecord;
    odd.deviceName = QStringLiteral("a\"b\\c\nd\te\u0001");
    const Result<ActivationState> decoded = ActivationState::decodeCompatible(odd.encoded());
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(*decoded, odd);
    EXPECT_FALSE(odd.encoded().contains('\n'));
}

struct DecodeCase {
    const char *name;
    QByteArray json;
    // Expected record, or the exact description of the failure.
    std::optional<ActivationState> record;
    const char *failure;
};

class DecodeCompatible : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeCompatible, ReadsBothKeySetsAndRefusesIncompleteRecords) {
    const Result<ActivationState> result = ActivationState::decodeCompatible(GetParam().json);
    if (GetParam().record) {
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(*result, *GetParam().record);
    } else {
        ASSERT_FALSE(result.ok());
        if (GetParam().failure) {
            EXPECT_TRUE(result.error().is(ClientError::Kind::MalformedData));
            EXPECT_EQ(result.error().description(), QString::fromUtf8(GetParam().failure));
        } else {
            EXPECT_EQ(result.error().clientError(), nullptr)
                << "a JSON syntax error passes through";
        }
    }
}

const QByteArray kOlderKeys =
    R"({"server_base_url":"https://s","device_id":"d","device_name":"n","token":"t","activated_at_utc":"a"})";
const ActivationState kSmall{QStringLiteral("https://s"), QStringLiteral("d"), QStringLiteral("n"),
                             QStringLiteral("t"), QStringLiteral("a")};

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeCompatible,
    ::testing::Values(
        DecodeCase{"olderKeys", kOlderKeys, kSmall, nullptr},
        DecodeCase{
            "blankStoredKeyFallsBack",
            R"({"serverBaseUrl":"  ","server_base_url":"https://s","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a"})",
            kSmall, nullptr},
        DecodeCase{
            "storedKeyWins",
            R"({"serverBaseUrl":"https://s","server_base_url":"https://old","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a"})",
            kSmall, nullptr},
        DecodeCase{
            "nonStringStoredKeySkipped",
            R"({"serverBaseUrl":7,"server_base_url":"https://s","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a"})",
            kSmall, nullptr},
        DecodeCase{
            "spacesKept",
            R"({"serverBaseUrl":" https://s ","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a","extra":1})",
            ActivationState{QStringLiteral(" https://s "), QStringLiteral("d"), QStringLiteral("n"),
                            QStringLiteral("t"), QStringLiteral("a")},
            nullptr},
        DecodeCase{
            "numericToken",
            R"({"serverBaseUrl":"https://s","deviceId":"d","deviceName":"n","token":42,"activatedAtUtc":"a"})",
            std::nullopt, "激活凭证字段不完整。"},
        DecodeCase{
            "olderTokenKeyNotAccepted",
            R"({"serverBaseUrl":"https://s","deviceId":"d","deviceName":"n","access_token":"t","activatedAtUtc":"a"})",
            std::nullopt, "激活凭证字段不完整。"},
        DecodeCase{
            "blankDeviceName",
            R"({"serverBaseUrl":"https://s","deviceId":"d","deviceName":" ","token":"t","activatedAtUtc":"a"})",
            std::nullopt, "激活凭证字段不完整。"},
        DecodeCase{"array", R"(["https://s"])", std::nullopt, "激活凭证格式无效。"},
        DecodeCase{"notJson", "not json", std::nullopt, nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ActivationStateUsable, NeedsServerDeviceAndTokenOnly) {
    ActivationState state = kSmall;
    state.deviceName.clear();
    state.activatedAtUtc.clear();
    EXPECT_TRUE(state.isUsable());
    for (QString ActivationState::*field :
         {&ActivationState::serverBaseURL, &ActivationState::deviceId, &ActivationState::token}) {
        ActivationState blank = kSmall;
        blank.*field = QStringLiteral(" \n\t");
        EXPECT_FALSE(blank.isUsable());
    }
}

} // namespace
