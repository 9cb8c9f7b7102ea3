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
const QString kDerived = QStringLiteral("264f6d67cc913e3ef23335d5d47c1dd35e2d164e3fd7df56707332450e10be46");

struct NameCase {
    const char *name;
    const char *computer;
    const char *host;
    const char *expected;
};

class DeviceName : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceName, PrefersTheComputerNameThenTheHostsFirstLabel)
{
    auto facts = std::make_shared<FakeFacts>();
    facts->computer = QString::fromUtf8(GetParam().computer);
    facts->host = QString::fromUtf8(GetParam().host);
    EXPECT_EQ(DeviceIdentity(facts).name(), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DeviceName,
    ::testing::Values(NameCase{"ComputerName", "书房电脑", "study.example.org", "书房电脑"},
                      NameCase{"LabelDotDomain", "", "study.example.org", "study"},
                      NameCase{"PlainHost", "", "study", "study"},
                      NameCase{"LeadingDot", "", ".study.lan", "study"},
                      NameCase{"OnlyDots", "", "..", "macOS"},
                      NameCase{"Nothing", "", "", "macOS"}),
    [](const auto &info) { return std::string(info.param.name); });

class DeviceIdentityTest : public ::testing::Test {
protected:
    DeviceIdentity identity() const { return DeviceIdentity(facts); }
    QString idFile() const { return paths.deviceIDFile(); }

    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    std::shared_ptr<FakeFacts> facts = std::make_shared<FakeFacts>();
};

TEST_F(DeviceIdentityTest, SeedJoinsUuidNameAndLogin)
{
    EXPECT_EQ(identity().seed(), QStringLiteral("8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B|Alice 的 Mac|alice"));
    facts->uuid.reset();
    EXPECT_EQ(identity().seed(), QStringLiteral("|Alice 的 Mac|alice"));
}

TEST_F(DeviceIdentityTest, WithoutAFileTheDerivedIdentifierIsStoredAndKept)
{
    const auto first = identity().id(paths);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(*first, kDerived);
    EXPECT_EQ(test::readAll(idFile()), kDerived.toUtf8());
    EXPECT_EQ(test::permissions(idFile()), 0600);

    facts->computer = QStringLiteral("Renamed");
    EXPECT_EQ(*identity().id(paths), kDerived) << "a renamed computer keeps its identifier";
}

TEST_F(DeviceIdentityTest, UpperCaseFileIsReadAsLowerCaseAndNotRewritten)
{
    ASSERT_TRUE(paths.ensure().ok());
    const QByteArray upper = QByteArrayLiteral("ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789\n");
    ASSERT_TRUE(test::writeFile(idFile(), upper, 0600));

    EXPECT_EQ(*identity().id(paths), QString::fromLatin1(upper.trimmed().toLower()));
    EXPECT_EQ(test::readAll(idFile()), upper);
}

TEST_F(DeviceIdentityTest, LooseFileIsReplacedEvenWhenItsContentIsValid)
{
    ASSERT_TRUE(paths.ensure().ok());
    ASSERT_TRUE(test::writeFile(idFile(), QByteArray(64, 'a'), 0644));

    EXPECT_EQ(*identity().id(paths), kDerived);
    EXPECT_EQ(test::readAll(idFile()), kDerived.toUtf8());
    EXPECT_EQ(test::permissions(idFile()), 0600);
}

TEST_F(DeviceIdentityTest, PrivateFileWithForeignContentIsLeftAlone)
{
    ASSERT_TRUE(paths.ensure().ok());
    ASSERT_TRUE(test::writeFile(idFile(), "not an identifier", 0600));

    EXPECT_EQ(*identity().id(paths), kDerived);
    EXPECT_EQ(*identity().id(paths), kDerived);
    EXPECT_EQ(test::readAll(idFile()), QByteArrayLiteral("not an identifier"));
}

TEST_F(DeviceIdentityTest, LinkIsNeitherReadNorWritten)
{
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

TEST_F(DeviceIdentityTest, UnusableDataDirectoryIsTheOnlyFailure)
{
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("nowhere")), paths.root()));
    const auto failed = identity().id(paths);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().description(),
              QStringLiteral("无法创建客户端数据目录：客户端数据目录不能是符号链接：") + paths.root());
}

struct IoregCase {
    const char *name;
    const char *output;
    std::optional<const char *> expected;
};

class IoregOutput : public ::testing::TestWithParam<IoregCase> {};

TEST_P(IoregOutput, TakesTheFirstQuotedPlatformUUID)
{
    const auto parsed = platform::platformUUIDFromIoregOutput(QString::fromUtf8(GetParam().output));
    if (GetParam().expected) {
        EXPECT_EQ(parsed, QString::fromUtf8(*GetParam().expected));
    } else {
        EXPECT_EQ(parsed, std::nullopt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, IoregOutput,
    ::testing::Values(
        IoregCase{"Typical",
                  "+-o J314sAP  <class IOPlatformExpertDevice, id 0x100000>\n"
                  "  {\n    \"IOPlatformSerialNumber\" = \"C02XYZ\"\n"
                  "    \"IOPlatformUUID\" = \"8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B\"\n  }\n",
                  "8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B"},
        IoregCase{"TabsAndTwoMatches", "\"IOPlatformUUID\"\t=\t\"first\"\n\"IOPlatformUUID\" = \"second\"", "first"},
        IoregCase{"ValueKeptUnaltered", "\"IOPlatformUUID\" = \" spaced value \"", " spaced value "},
        IoregCase{"EmptyValue", "\"IOPlatformUUID\" = \"\"", std::nullopt},
        IoregCase{"UnquotedKey", "IOPlatformUUID = \"abc\"", std::nullopt},
        IoregCase{"Nothing", "", std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LinuxDeviceFactsTest, ReadsMachineIdAndPrettyHostNameFromTheGivenFiles)
{
    TempDir temp;
    const QString invalid = temp.path(QStringLiteral("uninitialized"));
    const QString valid = temp.path(QStringLiteral("machine-id"));
    const QString info = temp.path(QStringLiteral("machine-info"));
    ASSERT_TRUE(test::writeFile(invalid, "uninitialized\n", 0444));
    ASSERT_TRUE(test::writeFile(valid, "0123456789abcdef0123456789abcdef\n", 0444));
    ASSERT_TRUE(test::writeFile(info, "CHASSIS=laptop\nPRETTY_HOSTNAME=\"Alice's \\\"Study\\\" PC\"\n", 0644));

    const platform::LinuxDeviceFacts facts({temp.path(QStringLiteral("absent")), invalid, valid}, info);
    EXPECT_EQ(facts.platformUUID(), QStringLiteral("0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(facts.computerName(), QStringLiteral("Alice's \"Study\" PC"));
    EXPECT_FALSE(facts.loginName().isEmpty());

    const platform::LinuxDeviceFacts bare({invalid}, temp.path(QStringLiteral("absent")));
    EXPECT_EQ(bare.platformUUID(), std::nullopt);
    EXPECT_EQ(bare.computerName(), QString());
}

} // namespace
