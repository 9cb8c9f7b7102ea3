// Which update packages are downloaded at all, on either platform, and where they are stored.
#include "net/UpdatePolicy.h"

#include <gtest/gtest.h>

using namespace velmora;
using UpdatePolicy::Platform;

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

struct AcceptanceRow {
    SoftwareUpdate update;
    bool onMac;
    bool onLinux;
};

class Acceptance : public ::testing::TestWithParam<AcceptanceRow> {};

TEST_P(Acceptance, OnlyThisPlatformsVerifiablePackageIsAccepted) {
    const AcceptanceRow &row = GetParam();
    EXPECT_EQ(UpdatePolicy::isAcceptable(row.update, Platform::MacOS), row.onMac);
    EXPECT_EQ(UpdatePolicy::isAcceptable(row.update, Platform::Linux), row.onLinux);
}

SoftwareUpdate without(SoftwareUpdate update, std::optional<QString> SoftwareUpdate::*field) {
    update.*field = std::nullopt;
    return update;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Acceptance,
    ::testing::Values(
        AcceptanceRow{offer("VelmoraWallpaper-macOS.dmg", QStringLiteral("macos")), true, false},
        AcceptanceRow{offer("VelmoraWallpaper.exe", QStringLiteral("windows")), false, false},
        AcceptanceRow{offer("client.pkg", std::nullopt), true, false},
        AcceptanceRow{offer("client.pkg", QString()), true, false},
        AcceptanceRow{offer("client.pkg", QStringLiteral("MacOS")), true, false},
        AcceptanceRow{offer("client.pkg", QStringLiteral("universal")), false, false},
        AcceptanceRow{offer("client-universal.zip", std::nullopt), true, false},
        AcceptanceRow{offer("client.zip", std::nullopt), false, false},
        AcceptanceRow{offer("velmora_1.4.0_amd64.deb", QStringLiteral("linux")), false, true},
        AcceptanceRow{offer("VELMORA.DEB", QStringLiteral("Linux")), false, true},
        AcceptanceRow{offer("velmora.deb", std::nullopt), false, true},
        AcceptanceRow{offer("velmora.deb", QStringLiteral("macos")), false, false},
        AcceptanceRow{offer("velmora.rpm", QStringLiteral("linux")), false, false},
        AcceptanceRow{offer("a.deb", std::nullopt, QString(63, u'a')), false, false},
        AcceptanceRow{offer("a.deb", std::nullopt, QString(65, u'a')), false, false},
        AcceptanceRow{offer("a.deb", std::nullopt, QString(63, u'a') + u'g'), false, false},
        AcceptanceRow{offer("a.deb", std::nullopt, QString(64, u'F')), false, true},
        AcceptanceRow{without(offer("a.deb", std::nullopt), &SoftwareUpdate::downloadURL), false,
                      false}));

TEST(UpdatePolicy, PackageNamesStayInsideTheUpdatesDirectory) {
    const QString fallback = QStringLiteral("VelmoraWallpaper-1.4.0.deb");
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("../../evil name.dmg"), QStringLiteral("evil-name.dmg")},
        {QStringLiteral("/etc/passwd"), QStringLiteral("passwd")},
        {QStringLiteral("更新包.dmg"), QStringLiteral("dmg")},
        {QStringLiteral("...---"), fallback},
        {QStringLiteral(".."), fallback},
        {QStringLiteral("a\nb\u202Ec.deb"), QStringLiteral("a-b-c.deb")},
        {QString(10000, u'x') + QStringLiteral(".deb"), QString(180, u'x')},
        {QString(), fallback},
    };
    for (const auto &[name, expected] : rows)
        EXPECT_EQ(UpdatePolicy::safeFileName(name, fallback), expected)
            << name.left(40).toStdString();

    SoftwareUpdate nameless = offer("", QStringLiteral("linux"));
    nameless.version.reset();
    EXPECT_EQ(UpdatePolicy::packageFileName(nameless, Platform::Linux),
              QStringLiteral("VelmoraWallpaper-未知版本.deb"));
    EXPECT_EQ(UpdatePolicy::packageFileName(nameless, Platform::MacOS),
              QStringLiteral("VelmoraWallpaper-未知版本.pkg"));
}

} // namespace
