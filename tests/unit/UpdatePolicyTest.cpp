// Which update packages are downloaded at all, on either platform, and where they are stored.
#include "net/UpdatePolicy.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const QString digest(64, u'a');

SoftwareUpdate offer(const char *fileName, std::optional<QString> platform,
                     std::optional<QString> sha256 = digest) {
    SoftwareUpdate update;
    update.isUpdateAvailable = true;
    update.version = QStringLiteral("1.4.0");
    update.fileName = QString::fromUtf8(fileName);
    update.platform = std::move(platform);
    update.sha256 = std::move(sha256);
    update.downloadURL = QStringLiteral("/api/client/files/update/1");
    return update;
}

// Each offer, and whether a Mac and a Linux client accept it.
TEST(UpdatePolicy, OnlyThisPlatformsVerifiablePackageIsAccepted) {
    const std::tuple<SoftwareUpdate, bool, bool> rows[] = {
        {offer("VelmoraWallpaper-macOS.dmg", QStringLiteral("macos")), true, false},
        {offer("VelmoraWallpaper.dmg", QStringLiteral("windows")), false, false},
        {offer("client.pkg", std::nullopt), true, false},
        {offer("client-universal.zip", std::nullopt), true, false},
        {offer("client.zip", std::nullopt), false, false},
        {offer("VELMORA.DEB", QStringLiteral("Linux")), false, true},
        {offer("velmora.deb", QStringLiteral("macos")), false, false},
        {offer("velmora.rpm", QStringLiteral("linux")), false, false},
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
    const QString fallback = QStringLiteral("VelmoraWallpaper-1.4.0.deb");
    // The saved package keeps the extension it was accepted for, whatever its stem.
    const std::pair<QString, QString> packages[] = {
        {QString(172, u'A') + QStringLiteral(".desktop-padding.deb"),
         QString(172, u'A') + QStringLiteral(".des.deb")},
        {QString(177, u'B') + QStringLiteral(".sh-x.DEB"),
         QString(176, u'B') + QStringLiteral(".DEB")},
        {QString(5000, u'L') + QStringLiteral(".deb"), QString(176, u'L') + QStringLiteral(".deb")},
        {QStringLiteral("../../evil name.deb"), QStringLiteral("evil-name.deb")},
        {QStringLiteral("壁纸.deb"), fallback},
        {QStringLiteral(".deb"), fallback},
    };
    for (const auto &[name, expected] : packages) {
        SoftwareUpdate update = offer(name.toUtf8().constData(), QStringLiteral("linux"));
        EXPECT_EQ(UpdatePolicy::packageFileName(update, Platform::Linux), expected)
            << name.left(40).toStdString();
    }
    SoftwareUpdate nameless = offer("", QStringLiteral("linux"));
    nameless.version = QStringLiteral("../1.5");
    EXPECT_EQ(UpdatePolicy::packageFileName(nameless, Platform::Linux),
              QStringLiteral("VelmoraWallpaper-..-1.5.deb"));
}

} // namespace
