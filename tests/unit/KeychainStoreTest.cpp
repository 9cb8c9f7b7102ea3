#include "core/KeychainStore.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;
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

const ActivationState kRecord{u"https://wallpaper.velmora.example"_s, u"ab12"_s, u"书房"_s,
                              u"secret-token"_s, u"2024-05-01T08:00Z"_s};
// As earlier versions kept it in the keychain.
const QByteArray kLegacyItem = QByteArrayLiteral(
    R"({"server_base_url":"https://wallpaper.velmora.example","device_id":"ab12",)"
    R"("device_name":"书房","token":"secret-token","activated_at_utc":"2024-05-01T08:00Z"})");

class KeychainStoreTest : public ::testing::Test {
protected:
    KeychainStore store() const { return KeychainStore(paths, u"alice"_s, keychain); }
    // What a load answers, how often the keychain has been asked, and what is on disk, as
    // "record|1|marker|0600": the loaded credential ("record", "none" or the failure), the
    // number of keychain queries, whether the marker exists, the credential file's mode.
    QString loadOutcome() const {
        const auto loaded = store().load();
        const QString answer = !loaded              ? loaded.error().description()
                               : *loaded == kRecord ? u"record"_s
                               : *loaded            ? u"other"_s
                                                    : u"none"_s;
        return u"%1|%2|%3|%4"_s.arg(answer)
            .arg(keychain->queries.size())
            .arg(QLatin1String(QFile::exists(paths.credentialStorageMarker()) ? "marker" : "-"))
            .arg(test::permissions(credential()), 0, 8);
    }
    // Starts over in a new data directory with a keychain holding `item`.
    void startOver(const std::optional<QByteArray> &item) {
        paths = ClientPaths(temp.path(u"data-%1"_s.arg(++rounds)));
        keychain = std::make_shared<FakeKeychain>();
        keychain->item = item;
    }
    QString credential() const { return paths.activationFallback(); }

    test::TempDir temp;
    ClientPaths paths{temp.path(u"data"_s)};
    std::shared_ptr<FakeKeychain> keychain = std::make_shared<FakeKeychain>();
    int rounds = 0;
};

// The standard data directory looks for the item under the name earlier versions gave it; a
// private one has a name of its own, so a test installation never picks up the real item.
TEST_F(KeychainStoreTest, TheStandardDataDirectoryUsesTheEarlierServiceName) {
    EXPECT_EQ(KeychainStore::serviceName(ClientPaths(ClientPaths::defaultRoot())),
              u"example.velmora.wallpaper.activation"_s);
}

// Whatever is wrong with the file, it reads as none and the legacy item is not consulted; a
// file others may read, or a link, is ignored, not repaired or written through.
TEST_F(KeychainStoreTest, DamagedLooseOrLinkedCredentialReadsAsNoneWithoutConsultingTheKeychain) {
    ActivationState tokenless = kRecord;
    tokenless.token = u" "_s;
    const std::tuple<QByteArray, int, const char *> files[] = {
        {"not json", 0600, "none|0|marker|600"},
        {tokenless.encoded(), 0600, "none|0|marker|600"},
        {kRecord.encoded(), 0604, "none|0|marker|604"},
        {kRecord.encoded(), 0640, "none|0|marker|640"},
    };
    for (const auto &[content, mode, outcome] : files) {
        startOver(kLegacyItem);
        ASSERT_TRUE(paths.ensure().ok());
        test::writeFile(credential(), content, mode);
        EXPECT_EQ(loadOutcome(), QString::fromUtf8(outcome));
    }

    startOver(kLegacyItem);
    ASSERT_TRUE(paths.ensure().ok());
    test::writeFile(temp.path(u"elsewhere"_s), kRecord.encoded());
    QFile::link(temp.path(u"elsewhere"_s), credential());
    EXPECT_EQ(loadOutcome(), u"none|0|marker|777"_s);
    EXPECT_EQ(test::failureOf(store().save(kRecord)), u"激活凭证路径不能是符号链接。"_s);
    EXPECT_TRUE(QFileInfo(credential()).isSymLink());
}

// The legacy item is migrated once the keychain answers (no session yet, past the deadline: it
// is asked again); an absent or unusable one, or a saved and then cleared credential, is never
// asked again.
// A migration that could not keep the credential must not mark itself done.
TEST_F(KeychainStoreTest, TheKeychainIsAskedUntilItAnswersAndThenNeverAgain) {
    keychain->item = kLegacyItem;
    keychain->answers = false;
    EXPECT_EQ(loadOutcome(), u"none|1|-|-1"_s);
    keychain->answers = true;
    EXPECT_EQ(loadOutcome(), u"record|2|marker|600"_s);
    EXPECT_EQ(keychain->queries[0], u"alice|"_s + KeychainStore::serviceName(paths));
    EXPECT_EQ(test::readAll(credential()), kRecord.encoded()) << "rewritten in the stored form";

    for (const QByteArray &unusable :
         {QByteArray(), QByteArray(kLegacyItem).replace("\"token\":\"secret-token\",", "")}) {
        startOver(unusable.isNull() ? std::nullopt : std::optional(unusable));
        EXPECT_EQ(loadOutcome(), u"none|1|marker|-1"_s);
        keychain->item = kLegacyItem;
        EXPECT_EQ(loadOutcome(), u"none|1|marker|-1"_s);
    }

    startOver(std::nullopt);
    ASSERT_TRUE(store().save(kRecord).ok());
    EXPECT_EQ(loadOutcome(), u"record|0|marker|600"_s);
    ASSERT_TRUE(store().clear().ok());
    keychain->item = kLegacyItem;
    EXPECT_EQ(loadOutcome(), u"none|0|marker|-1"_s);

    startOver(kLegacyItem);
    QDir().mkpath(paths.root());
    QFile::link(temp.path(), paths.logs());
    EXPECT_EQ(
        loadOutcome(),
        u"无法创建客户端数据目录：客户端数据目录不能是符号链接：%1|1|-|-1"_s.arg(paths.logs()));
    QFile::remove(paths.logs());
    EXPECT_EQ(loadOutcome(), u"record|2|marker|600"_s);
}

} // namespace
