#include "core/KeychainStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace velmora;
using velmora::test::TempDir;

namespace {

// Answers from a fixed item and counts how often it was asked.
class FakeKeychain : public platform::LegacyKeychain {
public:
    std::optional<QByteArray> lookup(const QString &account,
                                     const QString &service) const override {
        queries.append(account + u'|' + service);
        return item;
    }
    std::optional<QByteArray> item;
    mutable QStringList queries;
};

const ActivationState kRecord{
    QStringLiteral("https://wallpaper.velmora.example"),
    QStringLiteral("ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12"),
    QStringLiteral("书房"), QStringLiteral("secret-token"), QStringLiteral("2024-05-01T08:00:00Z")};

const QByteArray kStoredRecord = QByteArrayLiteral(
    "{\"activatedAtUtc\":\"2024-05-01T08:00:00Z\","
    "\"deviceId\":\"ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12\","
    "\"deviceName\":\"书房\",\"serverBaseUrl\":\"https://"
    "wallpaper.velmora.example\",\"token\":\"secret-token\"}");

class KeychainStoreTest : public ::testing::Test {
protected:
    KeychainStore store() const { return KeychainStore(paths, QStringLiteral("alice"), keychain); }
    // Starts over in a new data directory with a keychain holding `item`.
    void startOver(const std::optional<QByteArray> &item) {
        paths = ClientPaths(temp.path(QStringLiteral("data-%1").arg(++rounds)));
        keychain = std::make_shared<FakeKeychain>();
        keychain->item = item;
    }
    QString credential() const { return paths.activationFallback(); }
    QString marker() const { return paths.credentialStorageMarker(); }

    TempDir temp;
    ClientPaths paths{temp.path(QStringLiteral("data"))};
    std::shared_ptr<FakeKeychain> keychain = std::make_shared<FakeKeychain>();
    int rounds = 0;
};

TEST_F(KeychainStoreTest, ServiceNameCarriesADigestOfAPrivateDataDirectory) {
    EXPECT_EQ(KeychainStore::serviceName(ClientPaths(ClientPaths::defaultRoot())),
              QStringLiteral("example.velmora.wallpaper.activation"));
    EXPECT_EQ(KeychainStore::serviceName(
                  ClientPaths(ClientPaths::defaultRoot() + QStringLiteral("/sub/.."))),
              QStringLiteral("example.velmora.wallpaper.activation"));
    // printf %s /srv/velmora-data | sha256sum
    EXPECT_EQ(KeychainStore::serviceName(ClientPaths(QStringLiteral("/srv/velmora-data"))),
              QStringLiteral("example.velmora.wallpaper.activation.b0f988d70de5"));
}

TEST_F(KeychainStoreTest, SaveWritesTheStoredFormPrivatelyAndLoadsItBack) {
    ASSERT_TRUE(store().save(kRecord).ok());

    EXPECT_EQ(test::readAll(credential()), kStoredRecord);
    EXPECT_EQ(test::permissions(credential()), 0600);
    EXPECT_EQ(test::readAll(marker()), QByteArrayLiteral("local-file-v2\n"));
    EXPECT_EQ(test::permissions(marker()), 0600);

    const auto loaded = store().load();
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(*loaded, kRecord);
    EXPECT_TRUE(keychain->queries.isEmpty());
}

TEST_F(KeychainStoreTest, SaveRefusesAnUnusableRecordAndWritesNothing) {
    ActivationState blank = kRecord;
    blank.token = QStringLiteral("  \n");
    const Status saved = store().save(blank);
    ASSERT_FALSE(saved.ok());
    EXPECT_TRUE(saved.error().is(ClientError::Kind::MalformedData));
    EXPECT_EQ(saved.error().description(), QStringLiteral("激活信息不完整，未写入钥匙串。"));
    EXPECT_FALSE(QFile::exists(paths.root()));
}

TEST_F(KeychainStoreTest, LinkedCredentialLoadsAsNoneAndIsNeverWrittenThrough) {
    ASSERT_TRUE(paths.ensure().ok());
    const QString elsewhere = temp.path(QStringLiteral("elsewhere.json"));
    ASSERT_TRUE(test::writeFile(elsewhere, kStoredRecord, 0600));
    ASSERT_TRUE(QFile::link(elsewhere, credential()));

    const auto loaded = store().load();
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(*loaded, std::nullopt);

    ActivationState other = kRecord;
    other.token = QStringLiteral("other-token");
    const Status saved = store().save(other);
    ASSERT_FALSE(saved.ok());
    EXPECT_TRUE(saved.error().is(ClientError::Kind::FileSystem));
    EXPECT_EQ(saved.error().description(), QStringLiteral("激活凭证路径不能是符号链接。"));
    EXPECT_EQ(test::readAll(elsewhere), kStoredRecord);
    EXPECT_TRUE(test::isSymbolicLink(credential()));
    EXPECT_TRUE(keychain->queries.isEmpty());
}

// Whatever is wrong with the file, it reads as none and the legacy item is not consulted; a
// file others may read is ignored, not repaired, until saved again.
TEST_F(KeychainStoreTest, DamagedOrLooseCredentialReadsAsNoneWithoutConsultingTheKeychain) {
    const std::pair<QByteArray, int> files[] = {
        {QByteArray(), 0600},
        {"not json", 0600},
        {"[1]", 0600},
        {R"({"serverBaseUrl":"https://a.example","deviceId":"d","deviceName":"n","token":" ","activatedAtUtc":"t"})",
         0600},
        {R"({"deviceId":"d","deviceName":"n","token":"x","activatedAtUtc":"t"})", 0600},
        {QByteArray(2 * 1024 * 1024, ' '), 0600},
        {kStoredRecord, 0644},
    };
    for (const auto &[content, mode] : files) {
        startOver(kStoredRecord);
        ASSERT_TRUE(paths.ensure().ok());
        ASSERT_TRUE(test::writeFile(credential(), content, mode));
        const auto loaded = store().load();
        ASSERT_TRUE(loaded.ok());
        EXPECT_EQ(*loaded, std::nullopt) << content.left(40).toStdString();
        EXPECT_TRUE(keychain->queries.isEmpty());
        EXPECT_EQ(test::readAll(marker()), QByteArrayLiteral("local-file-v2\n"));
    }
    EXPECT_EQ(test::permissions(credential()), 0644) << "ignored, not repaired";

    ASSERT_TRUE(store().save(kRecord).ok());
    EXPECT_EQ(test::permissions(credential()), 0600);
    EXPECT_EQ(*store().load(), kRecord);
}

TEST_F(KeychainStoreTest, FirstLoadMigratesAUsableLegacyItemOnce) {
    keychain->item = QByteArrayLiteral(
        R"({"server_base_url":"https://wallpaper.velmora.example","device_id":"ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12ab12",)"
        R"("device_name":"书房","token":"secret-token","activated_at_utc":"2024-05-01T08:00:00Z"})");

    const auto first = store().load();
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(*first, kRecord);
    EXPECT_EQ(keychain->queries,
              QStringList{QStringLiteral("alice|") + KeychainStore::serviceName(paths)});
    EXPECT_EQ(test::readAll(credential()), kStoredRecord) << "rewritten in the stored form";
    EXPECT_EQ(test::permissions(credential()), 0600);
    EXPECT_EQ(test::readAll(marker()), QByteArrayLiteral("local-file-v2\n"));

    keychain->item.reset();
    const auto second = store().load();
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*second, kRecord);
    EXPECT_EQ(keychain->queries.size(), 1);
}

// An absent or unusable legacy item answers none, and the keychain is never asked again.
TEST_F(KeychainStoreTest, UnusableLegacyItemIsAskedForOnlyOnce) {
    const std::optional<QByteArray> items[] = {
        std::nullopt, QByteArrayLiteral("secret-token"),
        QByteArrayLiteral(
            R"({"serverBaseUrl":"https://a.example","deviceId":"d","deviceName":"n","activatedAtUtc":"t"})")};
    for (const std::optional<QByteArray> &item : items) {
        startOver(item);
        EXPECT_EQ(*store().load(), std::nullopt);
        EXPECT_FALSE(QFile::exists(credential()));
        EXPECT_EQ(test::readAll(marker()), QByteArrayLiteral("local-file-v2\n"));
        keychain->item = kStoredRecord;
        EXPECT_EQ(*store().load(), std::nullopt);
        EXPECT_EQ(keychain->queries.size(), 1);
    }
}

TEST_F(KeychainStoreTest, MarkerAloneOrAsALinkMeansNoKeychainQueryAndALinkedOneFailsSave) {
    ASSERT_TRUE(paths.ensure().ok());
    keychain->item = kStoredRecord;
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("nowhere")), marker()));
    EXPECT_EQ(*store().load(), std::nullopt);
    EXPECT_TRUE(keychain->queries.isEmpty());
    const Status saved = store().save(kRecord);
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().description(), QStringLiteral("凭证存储标记不能是符号链接。"));
    EXPECT_FALSE(QFile::exists(temp.path(QStringLiteral("nowhere"))));

    startOver(kStoredRecord);
    ASSERT_TRUE(paths.ensure().ok());
    ASSERT_TRUE(test::writeFile(marker(), "local-file-v2\n"));
    EXPECT_EQ(*store().load(), std::nullopt);
    EXPECT_TRUE(keychain->queries.isEmpty());
}

TEST_F(KeychainStoreTest, MigrationThatCannotWriteTheFileFailsAndRetriesNextTime) {
    keychain->item = kStoredRecord;
    ASSERT_TRUE(QDir().mkpath(temp.path(QStringLiteral("real"))));
    ASSERT_TRUE(QDir().mkpath(paths.root()));
    ASSERT_TRUE(QFile::link(temp.path(QStringLiteral("real")), paths.logs()));

    const auto failed = store().load();
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().description(),
              QStringLiteral("无法创建客户端数据目录：客户端数据目录不能是符号链接：") +
                  paths.logs());
    EXPECT_FALSE(QFile::exists(marker())) << "the next load must try again";

    ASSERT_TRUE(QFile::remove(paths.logs()));
    const auto retried = store().load();
    ASSERT_TRUE(retried.ok());
    EXPECT_EQ(*retried, kRecord);
    EXPECT_EQ(keychain->queries.size(), 2);
}

TEST_F(KeychainStoreTest, ClearRemovesTheCredentialKeepsTheMarkerAndSaysWhenItCannot) {
    EXPECT_TRUE(store().clear().ok()) << "nothing to remove is fine";
    EXPECT_EQ(test::readAll(marker()), QByteArrayLiteral("local-file-v2\n"));

    ASSERT_TRUE(store().save(kRecord).ok());
    ASSERT_TRUE(store().clear().ok());
    EXPECT_FALSE(QFile::exists(credential()));
    keychain->item = kStoredRecord;
    EXPECT_EQ(*store().load(), std::nullopt);
    EXPECT_TRUE(keychain->queries.isEmpty());

    ASSERT_TRUE(QDir().mkpath(credential() + QStringLiteral("/inside")));
    const Status cleared = store().clear();
    ASSERT_FALSE(cleared.ok());
    EXPECT_EQ(cleared.error().description(),
              QStringLiteral("无法删除本地激活凭证：“%1”：目标是一个目录。").arg(credential()));
}

} // namespace
