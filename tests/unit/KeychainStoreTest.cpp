#include "core/KeychainStore.h"
#include "core/ActivationState.h"
#include "platform/linux/SecretServiceKeychain.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::test::ScopedEnvironment;
using namespace std::chrono_literals;

namespace {

// The stored form must stay byte for byte what earlier versions wrote and read.
TEST(ActivationStateEncoding, IsCompactSortedAndLeavesSlashesAlone) {
    const ActivationState record{u"https://wallpaper.velmora.example"_s, u"0123abcd"_s,
                                 u"小明的电脑"_s, u"tok/en+secret"_s, u"2026-08-31T00:00:00Z"_s};
    EXPECT_EQ(QString::fromUtf8(record.encoded()),
              u"{\"activatedAtUtc\":\"2026-08-31T00:00:00Z\",\"deviceId\":\"0123abcd\","
              "\"deviceName\":\"小明的电脑\",\"serverBaseUrl\":\"https://"
              "wallpaper.velmora.example\",\"token\":\"tok/en+secret\"}"_s);
}

// Each JSON text with the exact failure, or "" when it gives the record.
TEST(ActivationStateDecoding, ReadsBothKeySetsAndRefusesIncompleteRecords) {
    const ActivationState record{u"https://s"_s, u"d"_s, u"n"_s, u"t"_s, u"a"_s};
    const std::pair<QByteArray, const char *> cases[] = {
        {R"({"server_base_url":"https://s","device_id":"d","device_name":"n","token":"t","activated_at_utc":"a"})",
         ""},
        {R"({"serverBaseUrl":"  ","server_base_url":"https://s","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a"})",
         ""},
        {R"({"serverBaseUrl":"https://s","server_base_url":"https://old","deviceId":"d","deviceName":"n","token":"t","activatedAtUtc":"a"})",
         ""},
        {R"({"serverBaseUrl":"https://s","deviceId":"d","deviceName":"n","token":42,"activatedAtUtc":"a"})",
         "激活凭证字段不完整。"},
    };
    for (const auto &[json, failure] : cases) {
        const Result<ActivationState> result = ActivationState::decodeCompatible(json);
        EXPECT_EQ(test::failureOf(result), QString::fromUtf8(failure)) << json.toStdString();
        EXPECT_TRUE(!result.ok() || *result == record) << json.toStdString();
    }
}

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

// Whatever is wrong with the file, it reads as none and the legacy item is not consulted; a
// file others may read, or a link, is ignored, not repaired or written through.
TEST_F(KeychainStoreTest, DamagedLooseOrLinkedCredentialReadsAsNoneWithoutConsultingTheKeychain) {
    ActivationState tokenless = kRecord;
    tokenless.token = u" "_s;
    const std::tuple<QByteArray, int, const char *> files[] = {
        {"not json", 0600, "none|0|marker|600"},
        {tokenless.encoded(), 0600, "none|0|marker|600"},
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
    // The standard data directory looks for the item under the name earlier versions gave it; a
    // private one has a name of its own, so a test installation never picks up the real item.
    EXPECT_EQ(KeychainStore::serviceName(ClientPaths(ClientPaths::defaultRoot())),
              u"example.velmora.wallpaper.activation"_s);
    EXPECT_EQ(test::readAll(credential()), kRecord.encoded()) << "rewritten in the stored form";

    // An unusable item is as good as none (every other test's keychain holds none).
    startOver(QByteArray(kLegacyItem).replace("\"token\":\"secret-token\",", ""));
    EXPECT_EQ(loadOutcome(), u"none|1|marker|-1"_s);
    keychain->item = kLegacyItem;
    EXPECT_EQ(loadOutcome(), u"none|1|marker|-1"_s);

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

// How long a lookup took, in milliseconds; a lookup here never finds anything.
qint64 lookupTime(std::chrono::milliseconds deadline) {
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(platform::SecretServiceKeychain(deadline)
                     .lookup(u"alice"_s, u"example.velmora.wallpaper.activation"_s)
                     .answered);
    return timer.elapsed();
}

// The legacy lookup runs on every first start: without a reachable bus it answers none at once,
// and a bus that never answers is abandoned at the deadline.
TEST(SecretServiceKeychainTest, NoBusAnswersAtOnceAndASilentOneAtTheDeadline) {
    test::TempDir temp;
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", temp.path().toUtf8());
    EXPECT_LT(lookupTime(10s), 200);

    // Accepts connections into its backlog but never answers: a hung per-user bus.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    const QByteArray path = QFile::encodeName(temp.path(u"bus"_s));
    ASSERT_LT(size_t(path.size()), sizeof(address.sun_path));
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 8), 0);

    const ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path);
    const qint64 elapsed = lookupTime(300ms);
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 1500);
    ::close(listener);
}

} // namespace
