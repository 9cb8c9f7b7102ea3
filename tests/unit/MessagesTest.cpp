#include "net/Messages.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

QByteArray replaced(QByteArray text, const char *from, const char *to) {
    return text.replace(from, to);
}

// Unknown keys are ignored; a missing key or one of the wrong JSON type refuses the whole record.
TEST(Messages, DecodingIsStrictAboutKeysAndTypes) {
    const QByteArray wallpaper = R"({"id":1027,"effectiveDate":"2026-12-06","fileName":"a.jpg",
      "contentType":"image/jpeg","length":2048,"sha256":"9f","downloadUrl":"/files/1027","extra":1})";
    EXPECT_EQ(WallpaperMetadata::decode(wallpaper).value().downloadURL, u"/files/1027"_s);
    const char *broken[][2] = {
        {"\"downloadUrl\"", "\"downloadURL\""}, // the key is lower camel case exactly
        {"\"id\":1027", "\"id\":1027.5"},       // a number that is not an integer
    };
    for (const auto &[from, to] : broken)
        EXPECT_FALSE(WallpaperMetadata::decode(replaced(wallpaper, from, to)).ok()) << to;

    EXPECT_TRUE(SoftwareUpdate::decode(R"({"isUpdateAvailable":false,"isMandatory":false})").ok());
    EXPECT_FALSE(SoftwareUpdate::decode(R"({"isUpdateAvailable":false})").ok());
}

TEST(Messages, AClaimSpellsTheCampaignIdInUpperCase) {
    const ClientRewardClaimRequest claim{
        QUuid::fromString(u"b74395d2-a831-4e70-8a7b-03be4a0d4861"_s), RewardSource::Referral};
    EXPECT_EQ(
        encodeJson(claim.toJson()),
        QByteArray(R"({"campaignId":"B74395D2-A831-4E70-8A7B-03BE4A0D4861","source":"referral"})"));
}

// The service's own flags are not trusted alone: a code already issued, a disabled campaign, no
// stock or no campaign at all is never claimed or offered.
TEST(Messages, RewardEligibilityFollowsCampaignStockAndIssuedCodes) {
    const QByteArray rewards = R"({"campaignId":"b74395d2-a831-4e70-8a7b-03be4a0d4861",
      "campaignName":"T","enabled":true,"successfulInvitations":1,"canClaimBase":true,
      "canClaimReferral":true,"stockAvailable":true,"instructions":"","codes":[]})";
    // A base code already issued; the referral still open. And the other way round.
    const QByteArray baseCode =
        R"("codes":[{"claimId":"B74395D2-A831-4E70-8A7B-03BE4A0D4862","code":"X","source":"base","issuedAtUtc":"t"}])";
    const QByteArray referralCode = QByteArray(baseCode).replace("\"base\"", "\"referral\"");
    const std::tuple<QByteArray, bool, bool> cases[] = {
        {rewards, true, true},
        {replaced(rewards, "\"codes\":[]", baseCode.constData()), false, true},
        {replaced(rewards, "\"codes\":[]", referralCode.constData()), true, false},
        {replaced(rewards, "\"enabled\":true", "\"enabled\":false"), false, false},
        {replaced(rewards, "\"stockAvailable\":true", "\"stockAvailable\":false"), false, false},
        {replaced(rewards, "\"b74395d2-a831-4e70-8a7b-03be4a0d4861\"", "null"), false, false},
    };
    for (const auto &[json, claimBase, referral] : cases) {
        const ClientRewardStatusResponse status = ClientRewardStatusResponse::decode(json).value();
        EXPECT_EQ(status.shouldClaimBaseOnOpen(), claimBase) << json.toStdString();
        EXPECT_EQ(status.canRequestReferral(), referral) << json.toStdString();
    }
}

// Only plain https addresses are opened, and only a QR image of bounded size is decoded.
TEST(Messages, RedemptionAddressAndQrImageAreUsedOnlyWhenSafe) {
    ClientRewardStatusResponse status;
    const std::pair<const char *, bool> urls[] = {
        {"https://rewards.invalid/redeem?x=1", true},
        {"http://rewards.invalid/redeem", false},
        {"https://user@rewards.invalid/redeem", false},
    };
    for (const auto &[url, safe] : urls) {
        status.redemptionUrl = QString::fromUtf8(url);
        EXPECT_EQ(status.safeRedemptionURL().has_value(), safe) << url;
    }

    // Past 3 MB of text the image is not decoded at all.
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(2'300'000, 'x');
    status.redemptionQrBase64 = QString::fromLatin1(png.toBase64());
    EXPECT_EQ(status.redemptionQRData(), std::nullopt);
}

} // namespace
