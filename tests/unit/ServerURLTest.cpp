#include "net/ServerURL.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const char *const kHttpsSentence =
    "服务器地址无效：正式服务器必须使用 HTTPS；本地测试可使用回环或私有局域网地址";
const char *const kOfficialSentence =
    "服务器地址无效：正式客户端只能连接 "
    "https://wallpaper.velmora.example；本地测试可使用回环或私有局域网地址";

struct NormalizeCase {
    const char *name;
    QString raw;
    // The normalised origin, or the exact error description.
    QString expected;
    bool accepted;
};

NormalizeCase ok(const char *name, const char *raw, const char *origin) {
    return {name, QString::fromUtf8(raw), QString::fromUtf8(origin), true};
}
NormalizeCase refused(const char *name, const char *raw, const char *description) {
    return {name, QString::fromUtf8(raw), QString::fromUtf8(description), false};
}
NormalizeCase refusedWithInput(const char *name, const char *raw) {
    return refused(name, raw, (std::string("服务器地址无效：") + raw).c_str());
}

class Normalize : public ::testing::TestWithParam<NormalizeCase> {};

TEST_P(Normalize, GivesTheOriginOrTheExactRefusal) {
    const Result<QString> result = ServerURL::normalize(GetParam().raw);
    if (GetParam().accepted) {
        ASSERT_TRUE(result.ok()) << result.error().description().toStdString();
        EXPECT_EQ(*result, GetParam().expected);
    } else {
        ASSERT_FALSE(result.ok()) << result->toStdString();
        EXPECT_TRUE(result.error().is(ClientError::Kind::InvalidServer));
        EXPECT_EQ(result.error().description(), GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Normalize,
    ::testing::Values(ok("officialTrimmedAndSlashless", "  https://wallpaper.velmora.example/ \n",
                         "https://wallpaper.velmora.example"),
                      ok("officialManySlashes", "https://wallpaper.velmora.example//",
                         "https://wallpaper.velmora.example"),
                      ok("officialWithPort", "https://wallpaper.velmora.example:8443",
                         "https://wallpaper.velmora.example:8443"),
                      ok("officialHostCaseKept", "https://Wallpaper.Velmora.Example",
                         "https://Wallpaper.Velmora.Example"),
                      ok("loopbackWithPort", "http://127.0.0.1:5000/", "http://127.0.0.1:5000"),
                      ok("localhost", "http://localhost:8080", "http://localhost:8080"),
                      ok("ipv6Loopback", "http://[::1]:8080/", "http://[::1]:8080"),
                      ok("httpsLoopback", "https://localhost:8443", "https://localhost:8443"),
                      refused("privateLan", "http://192.168.1.10:8080", kHttpsSentence),
                      refused("httpOfficial", "http://wallpaper.velmora.example", kHttpsSentence),
                      refused("otherLoopbackAddress", "http://127.0.0.2", kHttpsSentence),
                      refused("trailingDotLocalhost", "http://localhost.", kHttpsSentence),
                      refused("foreignHttps", "https://evil.invalid", kOfficialSentence),
                      refused("officialLookalike", "https://wallpaper.velmora.example.invalid",
                              kOfficialSentence),
                      refusedWithInput("path", "https://wallpaper.velmora.example/api"),
                      refusedWithInput("query", "https://wallpaper.velmora.example?x=1"),
                      refusedWithInput("bareQuestionMark", "https://wallpaper.velmora.example?"),
                      refusedWithInput("fragment", "https://wallpaper.velmora.example#top"),
                      refusedWithInput("userInfo", "https://user@wallpaper.velmora.example"),
                      refusedWithInput("ftpLoopback", "ftp://localhost"),
                      refusedWithInput("upperCaseScheme", "HTTPS://wallpaper.velmora.example"),
                      refusedWithInput("noScheme", "wallpaper.velmora.example"),
                      refusedWithInput("schemeRelative", "//localhost:8080"),
                      refusedWithInput("emptyHost", "https://"),
                      refusedWithInput("innerSpace", "https://wallpaper velmora.example"),
                      refusedWithInput("badPort", "http://localhost:99999"),
                      refusedWithInput("nonAsciiHost", "https://壁纸.example"),
                      refusedWithInput("empty", ""),
                      refusedWithInput("blanksKeptInPayload", "   ")),
    [](const auto &info) { return std::string(info.param.name); });

struct OriginCase {
    const char *name;
    const char *a;
    const char *b;
    bool equal;
};

class EqualOrigin : public ::testing::TestWithParam<OriginCase> {};

TEST_P(EqualOrigin, ComparesSchemeHostAndEffectivePort) {
    const QUrl a(QString::fromUtf8(GetParam().a));
    const QUrl b(QString::fromUtf8(GetParam().b));
    EXPECT_EQ(ServerURL::equalOrigin(a, b), GetParam().equal);
    EXPECT_EQ(ServerURL::equalOrigin(b, a), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EqualOrigin,
    ::testing::Values(OriginCase{"defaultPortSpelledOut", "https://H", "https://h:443", true},
                      OriginCase{"pathsIgnored", "https://h/a?x=1#f", "https://h/b", true},
                      OriginCase{"otherScheme", "https://h", "http://h", false},
                      OriginCase{"otherPort", "https://h", "https://h:8443", false},
                      OriginCase{"otherHost", "https://h", "https://h.invalid", false},
                      OriginCase{"userInfo", "https://u@h", "https://h", false},
                      OriginCase{"userInfoOnBoth", "https://u:p@h", "https://u:p@h", false},
                      OriginCase{"noPortForOtherSchemes", "ftp://h", "ftp://h:21", false},
                      OriginCase{"relativeAgainstAbsolute", "/path", "https://h", false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
