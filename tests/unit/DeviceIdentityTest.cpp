#include "core/DeviceIdentity.h"
#include "platform/linux/LinuxDeviceFacts.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

class FakeFacts : public platform::DeviceFacts {
public:
    std::optional<QString> platformUUID() const override { return uuid; }
    QString computerName() const override { return computer; }
    QString hostName() const override { return host; }
    QString loginName() const override { return u"alice"_s; }

    std::optional<QString> uuid = u"8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B"_s;
    QString computer = u"Alice 的 Mac"_s;
    QString host;
};

// printf %s '8F1C2D3E-4B5A-6978-8A9B-0C1D2E3F4A5B|Alice 的 Mac|alice' | sha256sum
const QString kDerived = u"264f6d67cc913e3ef23335d5d47c1dd35e2d164e3fd7df56707332450e10be46"_s;

TEST(DeviceName, PrefersTheComputerNameThenTheHostsFirstLabel) {
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"书房电脑", "study.example.org", "书房电脑"},
        {"", ".study.example.org", "study"},
        {"", "..", "Linux"},
    };
    auto facts = std::make_shared<FakeFacts>();
    for (const auto &[computer, host, expected] : cases) {
        facts->computer = QString::fromUtf8(computer);
        facts->host = QString::fromUtf8(host);
        EXPECT_EQ(DeviceIdentity(facts).name(), QString::fromUtf8(expected)) << host;
    }
    facts->uuid.reset();
    EXPECT_EQ(DeviceIdentity(facts).seed(), u"|Linux|alice"_s);
}

// Without a file the derived identifier is stored. An owner-only file with a valid identifier is
// used as it is (so a renamed computer keeps its identifier); a wider one is replaced even when its
// content is valid; an owner-only file with foreign content, or a link, is left alone.
TEST(DeviceIdentityTest, AStoredIdentifierIsUsedOnlyWhenPrivateAndValid) {
    test::TempDir temp;
    const ClientPaths paths(temp.path(u"data"_s));
    const QString file = paths.deviceIDFile();
    const auto facts = std::make_shared<FakeFacts>();
    // "identifier|file content|file mode"
    const auto outcome = [&] {
        const QString id = DeviceIdentity(facts).id(paths).value();
        return u"%1|%2|%3"_s.arg(id, QString::fromUtf8(test::readAll(file)))
            .arg(test::permissions(file), 0, 8);
    };
    const QString derived = kDerived + u'|' + kDerived + u"|600"_s;
    EXPECT_EQ(outcome(), derived);

    const std::tuple<QByteArray, int, QString> cases[] = {
        {QByteArray(64, 'F') + '\n', 0600, QString(64, u'f') + u'|' + QString(64, u'F') + "\n|600"},
        {QByteArray(64, 'a'), 0644, derived},
        {"not an identifier", 0600, kDerived + u"|not an identifier|600"_s},
    };
    for (const auto &[content, mode, expected] : cases) {
        test::writeFile(file, content, mode);
        EXPECT_EQ(outcome(), expected);
    }

    QFile::remove(file);
    test::writeFile(temp.path(u"target"_s), QByteArray(64, 'b'));
    QFile::link(temp.path(u"target"_s), file);
    EXPECT_EQ(outcome(), kDerived + u"|%1|777"_s.arg(QString(64, u'b')));
}

TEST(LinuxDeviceFactsTest, ReadsTheFirstValidMachineIdAndThePrettyHostName) {
    test::TempDir temp;
    ASSERT_TRUE(test::writeFile(temp.path(u"bad"_s), "uninitialized\n"));
    ASSERT_TRUE(test::writeFile(temp.path(u"id"_s), QByteArray(32, 'a') + '\n'));
    ASSERT_TRUE(test::writeFile(temp.path(u"info"_s),
                                "CHASSIS=laptop\nPRETTY_HOSTNAME=\"Alice's \\\"Study\\\" PC\"\n"));
    const platform::LinuxDeviceFacts facts(
        {temp.path(u"absent"_s), temp.path(u"bad"_s), temp.path(u"id"_s)}, temp.path(u"info"_s));
    EXPECT_EQ(facts.platformUUID(), QString(32, u'a'));
    EXPECT_EQ(facts.computerName(), u"Alice's \"Study\" PC"_s);
}

} // namespace
