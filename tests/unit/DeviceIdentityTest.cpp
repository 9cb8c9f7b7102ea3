#include "core/DeviceIdentity.h"
#include "platform/linux/LinuxDeviceFacts.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace velmora;
using velmora::test::TempDir;

namespace {

class FakeFacts : public platform::DeviceFacts {
public:
    std::optional<QString> platformUUID() const override { return uuid; }
    QString computerName() const override { return computer; }
    QString hostName() const override { return host; }
    QString loginName() const override { return login; }

    std::optional<QString> uuid = QStringLiteral("8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B");
    QString computer = QStringLiteral("Alice 的 Mac");
    QString host = QStringLiteral("alice-mac.local");
    QString login = QStringLiteral("alice");
};

// printf %s '8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B|Alice 的 Mac|alice' | sha256sum
const QString kDerived =
    QStringLiteral("264f6d67cc913e3ef23335d5d47c1dd35e2d164e3fd7df56707332450e10be46");

TEST(DeviceName, PrefersTheComputerNameThenTheHostsFirstLabel) {
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"书房电脑", "study.example.org", "书房电脑"},
        {"", "study.example.org", "study"},
        {"", "study", "study"},
        {"", ".study.lan", "study"},
        {"", "..", "macOS"},
        {"", "", "macOS"},
    };
    for (const auto &[computer, host, expected] : cases) {
        auto facts = std::make_shared<FakeFacts>();
        facts->computer = QString::fromUtf8(computer);
        facts->host = QString::fromUtf8(host);
        EXPECT_EQ(DeviceIdentity(facts).name(), QString::fromUtf8(expected)) << host;
    }
}

class DeviceIdentityTest : public ::testing::Test {
protected:
    DeviceIdentity identity() const { return DeviceIdentity(facts); }
    QString idFile() const { return paths.deviceIDFile(); }

    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    std::shared_ptr<FakeFacts> facts = std::make_shared<FakeFacts>();
};

TEST_F(DeviceIdentityTest, SeedWithoutAPlatformUuidStartsWithTheSeparator) {
    facts->uuid.reset();
    EXPECT_EQ(identity().seed(), QStringLiteral("|Alice 的 Mac|alice"));
}

TEST_F(DeviceIdentityTest, WithoutAFileTheDerivedIdentifierIsStoredAndKept) {
    const auto first = identity().id(paths);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(*first, kDerived);
    EXPECT_EQ(test::readAll(idFile()), kDerived.toUtf8());
    EXPECT_EQ(test::permissions(idFile()), 0600);

    facts->computer = QStringLiteral("Renamed");
    EXPECT_EQ(*identity().id(paths), kDerived) << "a renamed computer keeps its identifier";
}

// An owner-only file with a valid identifier is used as it is; a wider one is replaced even when
// its content is valid; an owner-only file with foreign content is left alone.
TEST_F(DeviceIdentityTest, AnExistingFileIsUsedOnlyWhenPrivateAndValid) {
    ASSERT_TRUE(paths.ensure().ok());
    const QByteArray upper =
        QByteArrayLiteral("ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789\n");
    const std::tuple<QByteArray, int, QString, QByteArray> cases[] = {
        {upper, 0600, QString::fromLatin1(upper.trimmed().toLower()), upper},
        {QByteArray(64, 'a'), 0644, kDerived, kDerived.toUtf8()},
        {"not an identifier", 0600, kDerived, "not an identifier"},
    };
    for (const auto &[content, mode, id, after] : cases) {
        ASSERT_TRUE(test::writeFile(idFile(), content, mode));
        EXPECT_EQ(*identity().id(paths), id) << content.toStdString();
        EXPECT_EQ(test::readAll(idFile()), after);
        EXPECT_EQ(test::permissions(idFile()), 0600);
    }
}

TEST_F(DeviceIdentityTest, LinkIsNeitherReadNorWritten) {
    ASSERT_TRUE(paths.ensure().ok());
    const QString target = temp.path(QStringLiteral("target"));
    const QByteArray planted(64, 'b');
    ASSERT_TRUE(test::writeFile(target, planted, 0644));
    ASSERT_TRUE(QFile::link(target, idFile()));

    EXPECT_EQ(*identity().id(paths), kDerived);
    EXPECT_TRUE(test::isSymbolicLink(idFile()));
    EXPECT_EQ(test::readAll(target), planted);
    EXPECT_EQ(test::permissions(target), 0644);
}

TEST_F(DeviceIdentityTest, UnusableDataDirectoryIsTheOnlyFailure) {
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("nowhere")), paths.root()));
    const auto failed = identity().id(paths);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().description(),
              QStringLiteral("无法创建客户端数据目录：客户端数据目录不能是符号链接：") +
                  paths.root());
}

TEST(IoregOutput, TakesTheFirstQuotedPlatformUUID) {
    const std::pair<const char *, std::optional<QString>> cases[] = {
        {"+-o J314sAP  <class IOPlatformExpertDevice, id 0x100000>\n"
         "  {\n    \"IOPlatformSerialNumber\" = \"C02XYZ\"\n"
         "    \"IOPlatformUUID\" = \"8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B\"\n  }\n",
         QStringLiteral("8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B")},
        {"\"IOPlatformUUID\"\t=\t\"first\"\n\"IOPlatformUUID\" = \"second\"",
         QStringLiteral("first")},
        {"\"IOPlatformUUID\" = \" spaced value \"", QStringLiteral(" spaced value ")},
        {"\"IOPlatformUUID\" = \"\"", std::nullopt},
        {"IOPlatformUUID = \"abc\"", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[output, expected] : cases)
        EXPECT_EQ(platform::platformUUIDFromIoregOutput(QString::fromUtf8(output)), expected)
            << output;
}

TEST(LinuxDeviceFactsTest, ReadsMachineIdAndPrettyHostNameFromTheGivenFiles) {
    TempDir temp;
    const QString invalid = temp.path(QStringLiteral("uninitialized"));
    const QString valid = temp.path(QStringLiteral("machine-id"));
    const QString info = temp.path(QStringLiteral("machine-info"));
    ASSERT_TRUE(test::writeFile(invalid, "uninitialized\n", 0444));
    ASSERT_TRUE(test::writeFile(valid, "0123456789abcdef0123456789abcdef\n", 0444));
    ASSERT_TRUE(test::writeFile(
        info, "CHASSIS=laptop\nPRETTY_HOSTNAME=\"Alice's \\\"Study\\\" PC\"\n", 0644));

    const platform::LinuxDeviceFacts facts({temp.path(QStringLiteral("absent")), invalid, valid},
                                           info);
    EXPECT_EQ(facts.platformUUID(), QStringLiteral("0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(facts.computerName(), QStringLiteral("Alice's \"Study\" PC"));
    EXPECT_FALSE(facts.loginName().isEmpty());

    const platform::LinuxDeviceFacts bare({invalid}, temp.path(QStringLiteral("absent")));
    EXPECT_EQ(bare.platformUUID(), std::nullopt);
    EXPECT_EQ(bare.computerName(), QString());
}

} // namespace
