// Which update packages are downloaded at all, on either platform, and where they are stored.
#include "net/UpdatePolicy.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

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
        {offer("a.deb", std::nullopt, QString(63, u'a') + u'g'), false, false},
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
