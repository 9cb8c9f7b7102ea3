// The parts of the service client that need no service: configuration, error wording, key
// rules, and the refusals that happen before anything is sent.
#include "net/WallpaperAPIClient.h"
#include "net/FileHasher.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace velmora;

namespace {

TEST(SessionConfiguration, DirectSwitchesOffEveryProxySystemLeavesItUnset) {
    const SessionConfiguration system =
        WallpaperAPIClient::sessionConfiguration(NetworkProxyMode::System);
    EXPECT_EQ(system.connectionProxyDictionary, std::nullopt);
    const SessionConfiguration direct =
        WallpaperAPIClient::sessionConfiguration(NetworkProxyMode::Direct);
    ASSERT_TRUE(direct.connectionProxyDictionary);
    const QMap<QString, bool> expected{{QStringLiteral("HTTPEnable"), false},
                                       {QStringLiteral("HTTPSEnable"), false},
                                       {QStringLiteral("SOCKSEnable"), false},
                                       {QStringLiteral("ProxyAutoConfigEnable"), false},
                                       {QStringLiteral("ProxyAutoDiscoveryEnable"), false}};
    EXPECT_EQ(*direct.connectionProxyDictionary, expected);
    EXPECT_EQ(direct.requestTimeoutSeconds, 45);
    EXPECT_EQ(direct.resourceTimeoutSeconds, 300);
}

TEST(ServerErrorMessage, PrefersTheJsonErrorElseTheTrimmedBodyCutTo300Characters) {
    EXPECT_EQ(serverErrorMessage(R"({"error":"设备已停用"})"), QStringLiteral("设备已停用"));
    EXPECT_EQ(serverErrorMessage(R"({"error":""})"), QStringLiteral(R"({"error":""})"));
    EXPECT_EQ(serverErrorMessage("  Bad Gateway \n"), QStringLiteral("Bad Gateway"));
    EXPECT_EQ(serverErrorMessage("\xff\xfe broken"), QString());

    // 301 characters, each an "e" with a combining accent: cut to 300 whole characters.
    QString accented;
    for (int i = 0; i < 301; ++i)
        accented += QStringLiteral("e\u0301");
    EXPECT_EQ(serverErrorMessage(accented.toUtf8()), accented.left(600));
}

struct KeyCase {
    QString key;
    bool valid;
};

TEST(IdempotencyKey, CountsUserPerceivedCharactersOfAnyScript) {
    const KeyCase cases[] = {
        {QString(8, u'a'), true},
        {QString(128, u'Z'), true},
        {QString(7, u'a'), false},
        {QString(129, u'a'), false},
        {QStringLiteral("abc-_.~12"), true},
        {QStringLiteral("幂等键幂等键幂等"), true},
        {QStringLiteral("١٢٣٤٥٦٧٨"), true}, // Arabic-Indic digits
        {QStringLiteral("abcd/efgh"), false},
        {QStringLiteral("abcd efgh"), false},
        {QStringLiteral("abcd+efgh"), false},
        // Seven letters each with a combining mark: 14 scalars, still 7 characters.
        {QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"), false},
        {QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"), true},
    };
    for (const KeyCase &row : cases)
        EXPECT_EQ(WallpaperAPIClient::isValidIdempotencyKey(row.key), row.valid)
            << row.key.toStdString();
}

TEST(FileHasher, MatchesKnownDigestsAndReportsUnreadableFiles) {
    test::TempDir temp;
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("empty")), {}));
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("abc")), "abc"));
    EXPECT_EQ(FileHasher::sha256(temp.path(QStringLiteral("empty"))).value(),
              QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    EXPECT_EQ(FileHasher::sha256(temp.path(QStringLiteral("abc"))).value(),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));

    // Larger than one chunk, and not a multiple of it.
    const QByteArray big(FileHasher::chunkSize * 3 + 17, 'v');
    ASSERT_TRUE(test::writeFile(temp.path(QStringLiteral("big")), big));
    Sha256 streamed;
    streamed.update(big.left(5));
    streamed.update(big.mid(5));
    EXPECT_EQ(FileHasher::sha256(temp.path(QStringLiteral("big"))).value(), streamed.finalHex());

    const Result<QString> missing = FileHasher::sha256(temp.path(QStringLiteral("nope")));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().description(),
              QStringLiteral("无法读取文件：") + temp.path(QStringLiteral("nope")));
    const Result<QString> directory = FileHasher::sha256(temp.path());
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.error().description(), QStringLiteral("读取文件失败：") + temp.path());

    EXPECT_TRUE(sameDigest(QStringLiteral("ABCdef"), QStringLiteral("abcDEF")));
}

// Runs the event loop until `done`, as the headless commands do.
template <typename Predicate> void pumpUntil(Predicate done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

TEST(WallpaperAPIClient, RefusesOriginsAndAddressesBeforeSendingAnythingButStillAnswersLater) {
    const auto refused = WallpaperAPIClient::create(QStringLiteral("https://evil.invalid"));
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().is(ClientError::Kind::InvalidServer));

    // Nothing listens on this origin; none of these calls may even try to connect.
    auto client = WallpaperAPIClient::create(QStringLiteral("http://127.0.0.1:9"), std::nullopt,
                                             NetworkProxyMode::Direct)
                      .value();
    test::TempDir temp;
    std::vector<QString> errors;
    bool insideCall = true;
    const auto record = [&](const auto &result) {
        EXPECT_FALSE(insideCall) << "a completion ran inside the call that started it";
        errors.push_back(result.ok() ? QString() : result.error().description());
    };
    client->download(QStringLiteral("/files/x"), std::nullopt, temp.path(QStringLiteral("x")),
                     record);
    client->useActivation({QStringLiteral("http://127.0.0.1:9"), QStringLiteral("dev"),
                           QStringLiteral("n"), QStringLiteral("secret-token"),
                           QStringLiteral("t")});
    client->download(QStringLiteral("https://evil.invalid/x"), std::nullopt,
                     temp.path(QStringLiteral("x")), record);
    client->download(QStringLiteral("//evil.invalid/x"), std::nullopt,
                     temp.path(QStringLiteral("x")), record);
    client->download(QStringLiteral("http://user@127.0.0.1:9/x"), std::nullopt,
                     temp.path(QStringLiteral("x")), record);
    client->activateByInvite(QStringLiteral("short"), QStringLiteral("d"), QStringLiteral("n"),
                             std::nullopt, nullptr, record);
    client->activateByInvite(QString(40, u'a'), QStringLiteral("d"), QStringLiteral("n"),
                             QStringLiteral("bad key"), nullptr, record);
    insideCall = false;
    pumpUntil([&] { return errors.size() == 6; });

    const QString offOrigin =
        QStringLiteral("服务器返回的下载地址与激活服务器不一致，已拒绝发送凭证。");
    EXPECT_EQ(errors, (std::vector<QString>{QStringLiteral("客户端尚未完成自动连接，请稍后重试。"),
                                            offOrigin, offOrigin, offOrigin,
                                            QStringLiteral("邀请链接已损坏或无效。"),
                                            QStringLiteral("幂等键格式无效。")}));
    EXPECT_TRUE(QDir(temp.path()).isEmpty()) << "a refused download left a file behind";
}

TEST(WallpaperAPIClient, ADestroyedClientDropsItsResults) {
    auto client = WallpaperAPIClient::create(QStringLiteral("http://127.0.0.1:9"), std::nullopt,
                                             NetworkProxyMode::Direct)
                      .value();
    bool called = false;
    client->fetchToday([&](const Result<WallpaperMetadata> &) { called = true; });
    client->download(QStringLiteral("/x"), std::nullopt, QStringLiteral("/tmp/x"),
                     [&](const Result<QString> &) { called = true; });
    client.reset();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_FALSE(called);
}

} // namespace
