#include "net/Messages.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace velmora;

namespace {

const QByteArray kWallpaper = R"({"id":1027,"effectiveDate":"2026-12-06","fileName":"Sunrise.JPEG",
  "contentType":"image/jpeg","length":2048,"sha256":"9f2c41ab07de55","downloadUrl":"/files/1027","extra":true})";

const QByteArray kRewards =
    R"({"campaignId":"b74395d2-a831-4e70-8a7b-03be4a0d4861","campaignName":"SELF-TEST",
  "enabled":true,"successfulInvitations":1,"canClaimBase":true,"canClaimReferral":true,"stockAvailable":true,
  "redemptionUrl":"https://rewards.invalid/redeem","instructions":"Synthetic test data","codes":[]})";

QByteArray replaced(QByteArray text, const char *from, const char *to) {
    return text.replace(from, to);
}

TEST(Messages, WallpaperDescriptorDecodesStrictly) {
    const Result<WallpaperMetadata> metadata = WallpaperMetadata::decode(kWallpaper);
    ASSERT_TRUE(metadata.ok()) << metadata.error().description().toStdString();
    EXPECT_EQ(metadata->id, 1027);
    EXPECT_EQ(metadata->fileName, QStringLiteral("Sunrise.JPEG"));
    EXPECT_EQ(metadata->length, 2048);
    EXPECT_EQ(metadata->downloadURL, QStringLiteral("/files/1027"));
    EXPECT_EQ(WallpaperMetadata::fromJson(metadata->toJson()).value(), *metadata);

    const char *broken[][2] = {
        {"\"downloadUrl\"", "\"downloadURL\""}, // the key is lower camel case exactly
        {"\"id\":1027", "\"id\":\"1027\""},     // a string where an integer belongs
        {"\"id\":1027", "\"id\":1027.5"},
        {"\"length\":2048", "\"length\":null"},
        {"\"fileName\":\"Sunrise.JPEG\"", "\"fileName\":7"},
    };
    for (const auto &[from, to] : broken) {
        const Result<WallpaperMetadata> refused =
            WallpaperMetadata::decode(replaced(kWallpaper, from, to));
        EXPECT_FALSE(refused.ok()) << to;
    }
    EXPECT_FALSE(WallpaperMetadata::decode("[1]").ok());
    EXPECT_FALSE(WallpaperMetadata::decode("").ok());
}

TEST(Messages, SentRecordsLeaveAbsentOptionalsOut) {
    InviteActivationRequest request{QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                    std::nullopt};
    EXPECT_EQ(request.toJson().keys(),
              (QStringList{QStringLiteral("deviceId"), QStringLiteral("deviceName"),
                           QStringLiteral("handoffTicket")}));
    request.idempotencyKey = QStringLiteral("K");
    EXPECT_EQ(request.toJson().size(), 4);

    const ClientRewardClaimRequest claim{
        QUuid::fromString(QStringLiteral("b74395d2-a831-4e70-8a7b-03be4a0d4861")),
        RewardSource::Referral};
    EXPECT_EQ(
        encodeJson(claim.toJson()),
        QByteArray(R"({"campaignId":"B74395D2-A831-4E70-8A7B-03BE4A0D4861","source":"referral"})"));
}

TEST(Messages, SoftwareUpdateOptionalsMayBeMissingButFlagsMayNot) {
    const Result<SoftwareUpdate> minimal =
        SoftwareUpdate::decode(R"({"isUpdateAvailable":false,"isMandatory":false})");
    ASSERT_TRUE(minimal.ok());
    EXPECT_EQ(*minimal, SoftwareUpdate{});
    EXPECT_FALSE(SoftwareUpdate::decode(R"({"isUpdateAvailable":false})").ok());
    EXPECT_FALSE(
        SoftwareUpdate::decode(R"({"isUpdateAvailable":"false","isMandatory":false})").ok());

    const Result<SoftwareUpdate> full = SoftwareUpdate::decode(
        R"({"isUpdateAvailable":true,"version":"1.4.0","length":5,"sha256":null,"isMandatory":true,"platform":"macos"})");
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(full->version, QStringLiteral("1.4.0"));
    EXPECT_EQ(full->length, 5);
    EXPECT_EQ(full->sha256, std::nullopt);
    EXPECT_EQ(SoftwareUpdate::decode(encodeJson(full->toJson())).value(), *full);
}

TEST(Messages, RewardStatusDecodesAndDerivesEligibility) {
    const Result<ClientRewardStatusResponse> sample = ClientRewardStatusResponse::decode(kRewards);
    ASSERT_TRUE(sample.ok()) << sample.error().description().toStdString();
    EXPECT_TRUE(sample->shouldClaimBaseOnOpen());
    EXPECT_TRUE(sample->canRequestReferral());
    EXPECT_EQ(sample->safeRedemptionURL(), QUrl(QStringLiteral("https://rewards.invalid/redeem")));
    EXPECT_EQ(sample->redemptionQRData(), std::nullopt);
    EXPECT_EQ(ClientRewardStatusResponse::decode(encodeJson(sample->toJson())).value(), *sample);

    const QByteArray withBaseCode = replaced(
        kRewards, "\"codes\":[]",
        R"("codes":[{"claimId":"B74395D2-A831-4E70-8A7B-03BE4A0D4862","code":"X","source":"base","issuedAtUtc":"2026-09-08T00:00:00Z"}])");
    const auto base = ClientRewardStatusResponse::decode(withBaseCode);
    ASSERT_TRUE(base.ok());
    EXPECT_FALSE(base->shouldClaimBaseOnOpen());
    EXPECT_TRUE(base->canRequestReferral());

    for (const auto &[from, to] :
         {std::pair{"\"enabled\":true", "\"enabled\":false"},
          std::pair{"\"stockAvailable\":true", "\"stockAvailable\":false"},
          std::pair{"\"campaignId\":\"b74395d2-a831-4e70-8a7b-03be4a0d4861\"",
                    "\"campaignId\":null"}}) {
        const auto status = ClientRewardStatusResponse::decode(replaced(kRewards, from, to));
        ASSERT_TRUE(status.ok()) << to;
        EXPECT_FALSE(status->shouldClaimBaseOnOpen()) << to;
        EXPECT_FALSE(status->canRequestReferral()) << to;
    }

    const QByteArray thirdSource = replaced(
        kRewards, "\"codes\":[]",
        R"("codes":[{"claimId":"b74395d2-a831-4e70-8a7b-03be4a0d4862","code":"X","source":"bonus","issuedAtUtc":"t"}])");
    EXPECT_TRUE(ClientRewardStatusResponse::decode(thirdSource).ok());
    EXPECT_FALSE(
        ClientRewardStatusResponse::decode(replaced(kRewards, "\"codes\":[]", "\"codes\":{}"))
            .ok());
    EXPECT_FALSE(
        ClientRewardStatusResponse::decode(replaced(kRewards, "b74395d2-a831", "{b74395d2-a831"))
            .ok());
}

TEST(Messages, OnlyHttpsRedemptionAddressesAreOpened) {
    const struct {
        const char *url;
        bool safe;
    } cases[] = {
        {"https://rewards.invalid/redeem?x=1", true},
        {"HTTPS://rewards.invalid", true},
        {"javascript:alert(1)", false},
        {"http://rewards.invalid/redeem", false},
        {"https://user@rewards.invalid/redeem", false},
        {"https:///redeem", false},
    };
    for (const auto &row : cases) {
        ClientRewardStatusResponse status;
        status.redemptionUrl = QString::fromUtf8(row.url);
        EXPECT_EQ(status.safeRedemptionURL().has_value(), row.safe) << row.url;
    }
}

TEST(Messages, QrImageMustBeStrictBase64OfAPng) {
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'x');
    const QByteArray jpeg = QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(100, 'x');
    ClientRewardStatusResponse status;
    status.redemptionQrBase64 = QString::fromLatin1(png.toBase64());
    EXPECT_EQ(status.redemptionQRData(), png);

    status.redemptionQrBase64 = QString::fromLatin1(jpeg.toBase64());
    EXPECT_EQ(status.redemptionQRData(), std::nullopt);

    QByteArray wrapped = png.toBase64();
    wrapped.insert(20, '\n');
    status.redemptionQrBase64 = QString::fromLatin1(wrapped);
    EXPECT_EQ(status.redemptionQRData(), std::nullopt);

    const QByteArray huge = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(2'300'000, 'x');
    ASSERT_GT(huge.toBase64().size(), 3'000'000);
    status.redemptionQrBase64 = QString::fromLatin1(huge.toBase64());
    EXPECT_EQ(status.redemptionQRData(), std::nullopt);
}

} // namespace
