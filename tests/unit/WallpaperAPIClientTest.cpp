// The parts of the service client that need no service: the servers it talks to, what each call
// accepts of an answer, and the refusals that happen before anything is sent.
#include "net/WallpaperAPIClient.h"
#include "core/Text.h"
#include "net/AnswerChecks.h"
#include "net/FileHasher.h"
#include "net/ServerURL.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QtCore/qtestsupport_core.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// Each raw address with the origin it normalises to or the exact refusal; none: the refusal
// that names the input.
TEST(ServerURL, NormalizeGivesTheOriginOrTheExactRefusal) {
    const char *const https =
        "服务器地址无效：正式服务器必须使用 HTTPS；本地测试可使用回环或私有局域网地址";
    const char *const official =
        "服务器地址无效：正式客户端只能连接 "
        "https://wallpaper.velmora.example；本地测试可使用回环或私有局域网地址";
    const std::pair<const char *, const char *> cases[] = {
        {"  https://wallpaper.velmora.example// \n", "https://wallpaper.velmora.example"},
        {"https://wallpaper.velmora.example:8443", "https://wallpaper.velmora.example:8443"},
        {"http://127.0.0.1:5000/", "http://127.0.0.1:5000"},
        {"http://localhost:8080", "http://localhost:8080"},
        {"http://[::1]:8080/", "http://[::1]:8080"},
        {"http://wallpaper.velmora.example", https},
        {"http://192.168.1.10:8080", https},
        {"http://127.0.0.2", https},
        {"http://localhost.", https},
        {"https://evil.invalid", official},
        {"https://wallpaper.velmora.example.invalid", official},
        {"https://wallpaper.velmora.example/api", nullptr},
        {"https://wallpaper.velmora.example#top", nullptr},
        {"https://user@wallpaper.velmora.example", nullptr},
        {"ftp://localhost", nullptr},
        {"http://localhost:99999", nullptr},
        {"   ", nullptr},
    };
    for (const auto &[raw, expected] : cases) {
        const Result<QString> result = ServerURL::normalize(QString::fromUtf8(raw));
        EXPECT_EQ(result.ok() ? *result : result.error().description(),
                  expected ? QString::fromUtf8(expected)
                           : u"服务器地址无效："_s + QString::fromUtf8(raw));
        EXPECT_TRUE(result.ok() || result.error().is(ClientError::Kind::InvalidServer));
    }
}

// Another scheme, port or host is refused where it matters, on the wire (redirects, download
// addresses); what those cannot show: case and default port, a look-alike host, user info.
TEST(ServerURL, EqualOriginComparesSchemeHostAndEffectivePort) {
    const std::tuple<const char *, const char *, bool> cases[] = {
        {"https://H", "https://h:443", true},
        {"https://h", "https://h.invalid", false},
        {"https://u:p@h", "https://u:p@h", false},
    };
    for (const auto &[a, b, equal] : cases) {
        const QUrl first(QString::fromUtf8(a)), second(QString::fromUtf8(b));
        EXPECT_EQ(ServerURL::equalOrigin(first, second), equal) << a << " " << b;
        EXPECT_EQ(ServerURL::equalOrigin(second, first), equal) << b << " " << a;
    }
}

TEST(FileHasher, HashesAcrossChunks) {
    test::TempDir temp;
    // Larger than one chunk, and not a multiple of it.
    const QByteArray big(FileHasher::chunkSize * 3 + 17, 'v');
    test::writeFile(temp.path(u"big"_s), big);
    EXPECT_EQ(FileHasher::sha256(temp.path(u"big"_s)).value(),
              QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex());
}

TEST(AnswerChecks, TodaysDescriptorNeedsEverythingTheDownloadUses) {
    const WallpaperMetadata complete{7, "2026-12-06",      "a.jpg", "image/jpeg",
                                     3, QString(64, u'A'), "/f/7"};
    EXPECT_EQ(AnswerChecks::todayDescriptor(encodeJson(complete.toJson())).value(), complete);
    const std::pair<const char *, QJsonValue> broken[] = {
        {"id", 0},
        {"fileName", ""},
        {"sha256", QString(63, u'a') + u'g'},
        {"downloadUrl", ""},
    };
    for (const auto &[key, value] : broken) {
        QJsonObject answer = complete.toJson();
        answer[QLatin1String(key)] = value;
        EXPECT_EQ(AnswerChecks::todayDescriptor(encodeJson(answer)).error().description(),
                  u"服务器壁纸响应不完整。"_s)
            << key;
    }
}

// A token goes into a header: a line break in it would add headers of the service's choosing.
TEST(AnswerChecks, ACredentialNeedsAPrintableTokenAndATime) {
    for (const char *body :
         {R"({"token":" ","activatedAtUtc":"t"})", R"({"token":"t","activatedAtUtc":""})",
          R"({"token":"abc
X-Evil: 1","activatedAtUtc":"t"})"}) {
        EXPECT_EQ(test::failureOf(AnswerChecks::credential(body, {}, {}, {}, "不完整。")),
                  u"不完整。"_s);
    }
}

// What every service text is trimmed, counted and cut by.
TEST(Text, TrimsEveryKindOfBlankAndCountsAndCutsUserPerceivedCharacters) {
    EXPECT_EQ(Text::trimmed(u" \t\r\n\u3000\u00a0\u2028 a b \u0085"_s), u"a b"_s);
    // A flag, "e" + combining acute, a family emoji (ZWJ sequence) and a CJK character.
    const QString text =
        u"\U0001F1E8\U0001F1F3e\u0301\U0001F468\u200D\U0001F469\u200D\U0001F467中"_s;
    EXPECT_EQ(Text::userPerceivedLength(text), 4);
    EXPECT_EQ(Text::userPerceivedPrefix(text, 2), u"\U0001F1E8\U0001F1F3e\u0301"_s);
    EXPECT_EQ(Text::userPerceivedPrefix(text, 10), text);
}

// The version is logged and shown, the notes shown: no forged log line, no terminal or
// bidirectional control, no answer-sized alert.
TEST(AnswerChecks, AnUpdatesVersionAndNotesAreCleanedAndCapped) {
    const std::pair<QString, std::optional<QString>> rows[] = {
        {u"1.4.0\n[2026-12-07T00:00:00Z] forged"_s, u"1.4.0[2026-12-07T00:00:00Z] forged"_s},
        {u"\x1b[2J1.4\a\u202E0"_s, u"[2J1.40"_s},
        {QString(1 << 20, u'9'), QString(64, u'9')},
        {u"\u200B\r"_s, std::nullopt},
    };
    for (const auto &[version, shown] : rows) {
        SoftwareUpdate offer;
        offer.version = version;
        EXPECT_EQ(AnswerChecks::updateOffer(encodeJson(offer.toJson()))->version, shown)
            << version.left(40).toStdString();
    }
    SoftwareUpdate offer;
    offer.releaseNotes = u" \u202E修复\x1b[2J问题\r\n"_s + QString(300, u'长') +
                         u"\n"_s.repeated(30) + u"第 32 行"_s;
    EXPECT_EQ(AnswerChecks::updateOffer(encodeJson(offer.toJson()))->releaseNotes,
              u"修复[2J问题\n"_s + QString(200, u'长'));
}

TEST(AnswerChecks, ThePromotionLinkIsTheOriginsOwnTicketPage) {
    const QString ticket(40, u'T');
    const std::pair<QString, bool> cases[] = {
        {u"http://127.0.0.1:8080/r/"_s + ticket, true},
        {u"http://127.0.0.1:9090/r/"_s + ticket, false},
        {u"http://u@127.0.0.1:8080/r/"_s + ticket, false},
        {u"http://127.0.0.1:8080/r/"_s + ticket + u"?a=1"_s, false},
        {u"http://127.0.0.1:8080/x/"_s + ticket, false},
        {u"/r/"_s + ticket, false},
    };
    for (const auto &[link, valid] : cases) {
        const ClientPromotionLinkResponse answer{link, std::nullopt, 20, 0};
        EXPECT_EQ(test::failureOf(AnswerChecks::promotionLink(encodeJson(answer.toJson()),
                                                              QUrl(u"http://127.0.0.1:8080"_s))),
                  valid ? QString() : u"服务器返回的推广链接无效。"_s)
            << link.toStdString();
    }
}

// Completions are posted to the client itself: they never run inside the call, also for a
// refusal before anything is sent, and those still queued when the client goes go with it.
TEST(WallpaperAPIClient, CompletionsRunOnlyLaterAndNeverOnceTheClientIsGone) {
    bool insideCall = true;
    std::vector<QString> kept, dropped;
    const auto start = [&](std::vector<QString> &errors) {
        // Nothing listens on this origin.
        auto client = WallpaperAPIClient::create(u"http://127.0.0.1:9"_s, std::nullopt,
                                                 NetworkProxyMode::Direct)
                          .value();
        const auto record = [&](const auto &result) {
            EXPECT_FALSE(insideCall) << "a completion ran inside the call that started it";
            errors.push_back(test::failureOf(result));
        };
        client->download(u"/f/x"_s, std::nullopt, u"x"_s, record);
        client->activateByInvite(u"short"_s, u"d"_s, u"n"_s, std::nullopt, nullptr, record);
        client->fetchToday(record);
        return client;
    };
    const auto client = start(kept);
    start(dropped);
    insideCall = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return kept.size() == 3; }, 10'000));
    EXPECT_TRUE(dropped.empty());
    kept.pop_back(); // today's call got as far as the refused connection
    EXPECT_EQ(kept, (std::vector<QString>{u"客户端尚未完成自动连接，请稍后重试。"_s,
                                          u"邀请链接已损坏或无效。"_s}));
}

} // namespace
