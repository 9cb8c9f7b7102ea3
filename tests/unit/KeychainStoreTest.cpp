#include "core/KeychainStore.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace velmora;

namespace {

// Answers from a fixed item and counts how often it was asked.
class FakeKeychain : public platform::LegacyKeychain {
public:
    platform::LegacyLookup lookup(const QString &account, const QString &service) const override {
        queries.append(account + u'|' + service);
        return answers ? platform::LegacyLookup{true, item} : platform::LegacyLookup{};
    }
    std::optional<QByteArray> item;
    bool answers = true;
    mutable QStringList queries;
};

const ActivationState kRecord{QStringLiteral("https://wallpaper.velmora.example"),
                              QStringLiteral("ab12"), QStringLiteral("书房"),
                              QStringLiteral("secret-token"), QStringLiteral("2024-05-01T08:00Z")};
// As earlier versions kept it in the keychain.
const QByteArray kLegacyItem = QByteArrayLiteral(
    R"({"server_base_url":"https://wallpaper.velmora.example","device_id":"ab12",)"
    R"("device_name":"书房","token":"secret-token","activated_at_utc":"2024-05-01T08:00Z"})");
const QByteArray kMarker = QByteArrayLiteral("local-file-v2\n");

class KeychainStoreTest : public ::testing::Test {
protected:
    KeychainStore store() const { return KeychainStore(paths, QStringLiteral("alice"), keychain); }
    std::optional<ActivationState> load() const { return store().load().value(); }
    // Starts over in a new data directory with a keychain holding `item`.
    void startOver(const std::optional<QByteArray> &item) {
        paths = ClientPaths(temp.path(QStringLiteral("data-%1").arg(++rounds)));
        keychain = std::make_shared<FakeKeychain>();
        keychain->item = item;
    }
    QString credential() const { return paths.activationFallback(); }

    test::TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    std::shared_ptr<FakeKeychain> keychain = std::make_shared<FakeKeychain>();
    int rounds = 0;
};

// Each data directory has an item of its own, so a test installation never picks up the real one.
TEST_F(KeychainStoreTest, ServiceNameCarriesADigestOfAPrivateDataDirectory) {
    EXPECT_EQ(KeychainStore::serviceName(ClientPaths(ClientPaths::defaultRoot())),
              QStringLiteral("example.velmora.wallpaper.activation"));
    // printf %s /srv/velmora-data | sha256sum
    EXPECT_EQ(KeychainStore::serviceName(ClientPaths(QStringLiteral("/srv/velmora-data"))),
              QStringLiteral("example.velmora.wallpaper.activation.b0f988d70de5"));
}

TEST_F(KeychainStoreTest, SaveWritesTheStoredFormPrivatelyAndLoadsItBack) {
    ActivationState blank = kRecord;
    blank.token = QStringLiteral("  \n");
    EXPECT_EQ(test::failureOf(store().save(blank)),
              QStringLiteral("激活信息不完整，未写入钥匙串。"));

    ASSERT_TRUE(store().save(kRecord).ok());
    EXPECT_EQ(test::readAll(credential()), kRecord.encoded());
    EXPECT_EQ(test::permissions(credential()), 0600);
    EXPECT_EQ(test::readAll(paths.credentialStorageMarker()), kMarker);
    EXPECT_EQ(load(), kRecord);
    EXPECT_TRUE(keychain->queries.isEmpty());
}

TEST_F(KeychainStoreTest, LinkedCredentialLoadsAsNoneAndIsNeverWrittenThrough) {
    ASSERT_TRUE(paths.ensure().ok());
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("elsewhere")), kRecord.encoded()));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("elsewhere")), credential()));

    EXPECT_EQ(load(), std::nullopt);
    EXPECT_EQ(test::failureOf(store().save(kRecord)),
              QStringLiteral("激活凭证路径不能是符号链接。"));
    EXPECT_TRUE(test::isSymbolicLink(credential()));
    EXPECT_TRUE(keychain->queries.isEmpty());
}

// Whatever is wrong with the file, it reads as none and the legacy item is not consulted; a
// file others may read is ignored, not repaired, until saved again.
TEST_F(KeychainStoreTest, DamagedOrLooseCredentialReadsAsNoneWithoutConsultingTheKeychain) {
    ActivationState tokenless = kRecord;
    tokenless.token = QStringLiteral(" ");
    const std::pair<QByteArray, int> files[] = {
        {"not json", 0600},
        {tokenless.encoded(), 0600},
        {kRecord.encoded(), 0604},
        {kRecord.encoded(), 0640},
    };
    for (const auto &[content, mode] : files) {
        startOver(kLegacyItem);
        ASSERT_TRUE(paths.ensure().ok());
        ASSERT_TRUE(test::writeFile(credential(), content, mode));
        EXPECT_EQ(load(), std::nullopt) << content.left(20).toStdString() << " " << mode;
        EXPECT_TRUE(keychain->queries.isEmpty());
    }
    EXPECT_EQ(test::permissions(credential()), 0640) << "ignored, not repaired";
    ASSERT_TRUE(store().save(kRecord).ok());
    EXPECT_EQ(load(), kRecord);
}

TEST_F(KeychainStoreTest, FirstLoadMigratesAUsableLegacyItemOnceTheKeychainAnswers) {
    keychain->item = kLegacyItem;
    // A keychain that does not answer (no session yet, past the deadline) is asked again.
    keychain->answers = false;
    EXPECT_EQ(load(), std::nullopt);
    EXPECT_FALSE(QFile::exists(paths.credentialStorageMarker()));
    keychain->answers = true;
    EXPECT_EQ(load(), kRecord);
    EXPECT_EQ(keychain->queries,
              QStringList(2, QStringLiteral("alice|") + KeychainStore::serviceName(paths)));
    EXPECT_EQ(test::readAll(credential()), kRecord.encoded()) << "rewritten in the stored form";
    EXPECT_EQ(test::permissions(credential()), 0600);
}

// An absent or unusable legacy item, or one cleared, answers none, and the keychain is never
// asked again, not even once it holds a usable item.
TEST_F(KeychainStoreTest, TheKeychainIsAskedAtMostOnce) {
    const std::optional<QByteArray> items[] = {
        std::nullopt, QByteArray(kLegacyItem).replace("\"token\":\"secret-token\",", "")};
    for (const std::optional<QByteArray> &item : items) {
        startOver(item);
        EXPECT_EQ(load(), std::nullopt);
        EXPECT_FALSE(QFile::exists(credential()));
        keychain->item = kLegacyItem;
        EXPECT_EQ(load(), std::nullopt);
        EXPECT_EQ(keychain->queries.size(), 1);
    }
    startOver(std::nullopt);
    ASSERT_TRUE(store().save(kRecord).ok());
    ASSERT_TRUE(store().clear().ok());
    keychain->item = kLegacyItem;
    EXPECT_EQ(load(), std::nullopt) << "neither the file nor the legacy item comes back";
    EXPECT_TRUE(keychain->queries.isEmpty());
}

// A migration that could not keep the credential must not mark itself done.
TEST_F(KeychainStoreTest, MigrationThatCannotWriteTheFileFailsAndRetriesNextTime) {
    keychain->item = kLegacyItem;
    ASSERT_TRUE(QDir().mkpath(paths.root()));
    ASSERT_TRUE(QFile::link(temp.path(), paths.logs()));
    EXPECT_EQ(test::failureOf(store().load()),
              QStringLiteral("无法创建客户端数据目录：客户端数据目录不能是符号链接：") +
                  paths.logs());
    EXPECT_FALSE(QFile::exists(paths.credentialStorageMarker()));

    ASSERT_TRUE(QFile::remove(paths.logs()));
    EXPECT_EQ(load(), kRecord);
    EXPECT_EQ(keychain->queries.size(), 2);
}

} // namespace
