#include "net/Messages.h"
#include "net/UpdatePolicy.h"
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

// Which update packages are downloaded at all, on either platform, and where they are stored.
const QString digest(64, u'a');

SoftwareUpdate offer(const char *fileName, std::optional<QString> platform,
                     std::optional<QString> sha256 = digest) {
    SoftwareUpdate update;
    update.isUpdateAvailable = true;
    update.version = u"1.4.0"_s;
    update.fileName = QString::fromUtf8(fileName);
    update.platform = std::move(platform);
    update.sha256 = std::move(sha256);
    update.downloadURL = u"/api/client/files/update/1"_s;
    return update;
}

// Each offer, and whether a Mac and a Linux client accept it.
TEST(UpdatePolicy, OnlyThisPlatformsVerifiablePackageIsAccepted) {
    const std::tuple<SoftwareUpdate, bool, bool> rows[] = {
        {offer("VelmoraWallpaper-macOS.dmg", u"macos"_s), true, false},
        {offer("VelmoraWallpaper.dmg", u"windows"_s), false, false},
        {offer("client.pkg", std::nullopt), true, false},
        {offer("client-universal.zip", std::nullopt), true, false},
        {offer("client.zip", std::nullopt), false, false},
        {offer("VELMORA.DEB", u"Linux"_s), false, true},
        {offer("velmora.deb", u"macos"_s), false, false},
        {offer("velmora.rpm", u"linux"_s), false, false},
        {offer("a.deb", std::nullopt, QString(63, u'a')), false, false},
        {offer("a.deb", std::nullopt, QString(64, u'F')), false, true},
    };
    for (const auto &[update, onMac, onLinux] : rows) {
        EXPECT_EQ(UpdatePolicy::isAcceptable(update, Platform::MacOS), onMac)
            << update.fileName->toStdString();
        EXPECT_EQ(UpdatePolicy::isAcceptable(update, Platform::Linux), onLinux)
            << update.fileName->toStdString();
    }
}

TEST(UpdatePolicy, PackageNamesStayInsideTheUpdatesDirectory) {
    const QString fallback = u"VelmoraWallpaper-1.4.0.deb"_s;
    // The saved package keeps the extension it was accepted for, whatever its stem.
    const std::pair<QString, QString> packages[] = {
        {QString(172, u'A') + u".desktop-padding.deb"_s, QString(172, u'A') + u".des.deb"_s},
        {QString(177, u'B') + u".sh-x.DEB"_s, QString(176, u'B') + u".DEB"_s},
        {QString(5000, u'L') + u".deb"_s, QString(176, u'L') + u".deb"_s},
        {u"../../evil name.deb"_s, u"evil-name.deb"_s},
        {u"壁纸.deb"_s, fallback},
        {u".deb"_s, fallback},
    };
    for (const auto &[name, expected] : packages) {
        SoftwareUpdate update = offer(name.toUtf8().constData(), u"linux"_s);
        EXPECT_EQ(UpdatePolicy::packageFileName(update, Platform::Linux), expected)
            << name.left(40).toStdString();
    }
    SoftwareUpdate nameless = offer("", u"linux"_s);
    nameless.version = u"../1.5"_s;
    EXPECT_EQ(UpdatePolicy::packageFileName(nameless, Platform::Linux),
              u"VelmoraWallpaper-..-1.5.deb"_s);
}

} // namespace
