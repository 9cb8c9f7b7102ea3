#include "net/ServerURL.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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

} // namespace
