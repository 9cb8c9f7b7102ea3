// The service client against the real loopback service: what goes over the wire, what comes
// back, what a hostile service can and cannot make the client do, and which certificate it
// trusts over HTTPS.
#include "ClientHarness.h"
#include "net/FileHasher.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <QDir>
#include <QSslCertificate>

// Faults are written with designated initialisers naming only the fields that matter.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;
using namespace velmora;
using velmora::test::await;
using velmora::test::failureOf;

namespace {

const QString kDeviceId = QString(64, u'd');

// The client tests hand credentials to the development service and cannot tell on their own
// whether anything but this machine could reach it.
TEST(DevService, BindsLoopbackOnly) {
    for (const char *address : {"0.0.0.0", "::", "192.168.1.10", "example.com"}) {
        dev::DevService::Options options;
        options.bindAddress = QString::fromLatin1(address);
        EXPECT_FALSE(dev::DevService(options).start()) << address;
    }
    dev::DevService::Options local;
    local.bindAddress = u"localhost"_s;
    dev::DevService service(local);
    ASSERT_TRUE(service.start());
    EXPECT_EQ(service.origin(), u"http://127.0.0.1:%1"_s.arg(service.port()));
}

// With a certificate made for the test: only a certificate the client was given is trusted, and
// the failure says the secure connection failed.
TEST(Https, OnlyTheTrustedCertificateWorks) {
    test::TempDir temp;
    dev::DevService::Options options;
    options.certFile = temp.path(u"cert.pem"_s);
    options.keyFile = temp.path(u"key.pem"_s);
    ASSERT_TRUE(dev::DevService::writeSelfSignedCertificate(options.certFile, options.keyFile));
    dev::DevService service(options);
    ASSERT_TRUE(service.start());
    for (const bool trusted : {false, true}) {
        auto client =
            WallpaperAPIClient::create(service.origin(), std::nullopt, NetworkProxyMode::Direct)
                .value();
        if (trusted)
            client->addTrustedCertificates(QSslCertificate::fromPath(options.certFile));
        EXPECT_EQ(failureOf(await<ActivationState>(
                      [&](auto done) { client->registerDevice(kDeviceId, u"测试机"_s, done); })),
                  trusted ? QString()
                          : u"服务器返回错误（HTTP 0）：连接服务器失败：无法建立安全连接（TLS "
                            "握手失败）"_s);
    }
}

// `expected` is the exact description, or its beginning and end around a "…".
void expectDescription(const QString &text, const char *expected) {
    const QStringList parts = QString::fromUtf8(expected).split(u'…');
    EXPECT_TRUE(parts.size() == 1 ? text == parts.front()
                                  : text.startsWith(parts.front()) && text.endsWith(parts.back()))
        << text.toStdString();
}

dev::Fault status(int code, const QByteArray &body, const char *type = "application/json") {
    return {.status = code, .body = body, .contentType = type};
}

// Small enough for a test to exceed, large enough for every sample wallpaper.
constexpr qint64 kCeiling = 1 << 20;

class ClientCalls : public test::ServiceTest {
protected:
    // Everything in the scratch directory, hidden staging files included, then what the
    // destination holds.
    QStringList scratch() const {
        return QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
               << QString::fromUtf8(test::readAll(destination));
    }
    const QStringList previousOnly{u"today.jpg"_s, u"previous wallpaper"_s};

    // Each call's exact failure, or "" when it succeeded.
    QString today(WallpaperAPIClient &client) {
        return failureOf(await<WallpaperMetadata>([&](auto done) { client.fetchToday(done); }));
    }

    QString download(WallpaperAPIClient &client, const QString &address,
                     const std::optional<QString> &digest) {
        return failureOf(await<QString>(
            [&](auto done) { client.download(address, digest, destination, done, kCeiling); }));
    }

    test::TempDir temp;
    const QString destination = temp.path(u"today.jpg"_s);
};

// Followed with the credential, or the service would refuse the call instead: the rewards path
// now answers with today's wallpaper, which is not a rewards status.
TEST_F(ClientCalls, RedirectsWithinTheOriginAreFollowed) {
    auto client = enrolledClient();
    service->setFault(u"/api/client/rewards"_s,
                      {.redirectTo = service->origin() + test::kTodayPath});
    EXPECT_EQ(failureOf(await<ClientRewardStatusResponse>(
                  [&](auto done) { client->fetchRewards(done); })),
              u"暂时无法读取红包活动信息，请稍后重试。"_s);
}

TEST_F(ClientCalls, DownloadsReplaceTheFileOnlyWholeAndVerified) {
    auto client = enrolledClient();
    const dev::WallpaperInfo today = service->todayWallpaper();
    // Absolute and relative addresses racing for one file, with a digest in capitals.
    std::vector<QString> outcomes;
    for (const QString &address : {today.downloadPath, today.downloadPath.mid(1)}) {
        client->download(address, today.sha256.toUpper(), destination,
                         [&](const Result<QString> &saved) {
                             outcomes.push_back(saved ? *saved : saved.error().description());
                         });
    }
    test::pumpUntil([&] { return outcomes.size() == 2; });
    EXPECT_EQ(outcomes, std::vector<QString>(2, destination));
    EXPECT_EQ(FileHasher::sha256(destination).value(), today.sha256);
    EXPECT_EQ(scratch().size(), 2) << "a staging file was left behind";
}

TEST_F(ClientCalls, AClientDestroyedMidDownloadCompletesNothingAndKeepsThePreviousFile) {
    auto client = enrolledClient();
    const dev::WallpaperInfo today = service->todayWallpaper();
    service->setFault(today.downloadPath, {.stallAfter = 4096});
    ASSERT_TRUE(test::writeFile(destination, "previous wallpaper"));
    bool completed = false;
    client->download(today.downloadPath, today.sha256, destination,
                     [&](const Result<QString> &) { completed = true; });
    ASSERT_TRUE(test::pumpUntil([&] {
        const QFileInfoList files = QDir(temp.path()).entryInfoList(QDir::Files | QDir::Hidden);
        return files.size() == 2 && files.front().size() == 4096; // the hidden one sorts first
    }));

    client.reset();
    test::pumpUntil([] { return false; }, 300); // time for a stray completion to show
    EXPECT_FALSE(completed);
    EXPECT_EQ(scratch(), previousOnly);
}

TEST_F(ClientCalls, DownloadAddressesOffTheOriginAreRefusedBeforeAnyRequest) {
    auto client = enrolledClient();
    const QString path = service->todayWallpaper().downloadPath;
    const QString foreign = otherOrigin().origin();
    for (const QString &address :
         {foreign + path, service->origin().replace(u"http:"_s, u"https:"_s) + path,
          u"http://[::1"_s}) {
        EXPECT_EQ(download(*client, address, std::nullopt),
                  u"服务器返回的下载地址与激活服务器不一致，已拒绝发送凭证。"_s);
    }
    EXPECT_EQ(service->requests().size() + otherOrigin().requests().size(), 0u);
    EXPECT_EQ(scratch(), QStringList{QString()});
}

// Redeeming enrols first: an enrolment that cannot be stored would be lost with the ticket it
// spent, so the invite is not sent.
TEST_F(ClientCalls, AnEnrolmentThatCannotBeStoredSendsNoInvite) {
    auto client = makeClient();
    const auto refuse = [](const ActivationState &) -> Status {
        return ClientError::fileSystem(u"写不进去。"_s);
    };
    EXPECT_EQ(failureOf(await<ActivationState>([&](auto done) {
                  client->activateByInvite(service->createInviteTicket(), kDeviceId, u"测试机"_s,
                                           std::nullopt, refuse, done);
              })),
              u"写不进去。"_s);
    EXPECT_EQ(service->requests().size(), 1u) << "only the enrolment";
}

// A loopback service never goes through the proxy (which would see the token); the official
// one does, and a dead proxy is named in the failure.
TEST_F(ClientCalls, ADeadSystemProxyFailsWithTheHintWhileLoopbackGetsThrough) {
    auto loopback = enrolledClient(NetworkProxyMode::System);
    auto system = WallpaperAPIClient::create(ClientConstants::officialServer,
                                             loopback->activation(), NetworkProxyMode::System)
                      .value();
    // Nothing listens on port 9 of the loopback: a proxy that has gone away.
    const test::ScopedEnvironment proxy("http_proxy", "http://127.0.0.1:9"),
        secureProxy("https_proxy", "http://127.0.0.1:9"), exceptions("no_proxy", {});
    EXPECT_EQ(today(*loopback), QString());
    expectDescription(
        today(*system),
        "服务器返回错误（HTTP 0）：连接服务器失败：…。当前为“跟随系统代理”；若代理程序"
        "已退出但系统仍残留代理，请在菜单栏“网络连接”中切换为“直连（忽略系统代理）”后"
        "重试。");
}

const std::string kLongError = "服务器返回错误（HTTP 401）：]0;pwnedok" + std::string(290, 'x');

// One hostile or broken answer and exactly what the caller gets. A redirect goes back to the
// same path (a redirect off the origin is the refresh process's test). A download asks for a
// digest that cannot match, and must leave the previous file alone.
struct HostileCase {
    const char *name;
    bool download; // else today's descriptor
    dev::Fault fault;
    const char *expected; // as expectDescription takes it
};

void PrintTo(const HostileCase &row, std::ostream *out) {
    *out << row.name;
}

class HostileService : public ClientCalls, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileService, GetsTheExactErrorAndKeepsThePreviousFile) {
    const HostileCase &row = GetParam();
    auto client = enrolledClient();
    const QString path = row.download ? service->todayWallpaper().downloadPath : test::kTodayPath;
    dev::Fault fault = row.fault;
    if (fault.redirectTo)
        fault.redirectTo = service->origin() + path;
    service->setFault(path, fault);
    ASSERT_TRUE(test::writeFile(destination, "previous wallpaper"));
    expectDescription(row.download ? download(*client, path, QString(64, u'0')) : today(*client),
                      row.expected);
    EXPECT_EQ(scratch(), previousOnly);
    // Qt's HTTP thread is still tearing down the last request of a redirect chain: a client
    // destroyed now strands that work in the thread, which the leak checker reports at exit.
    test::pumpUntil([] { return false; }, 100);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileService,
    ::testing::Values(
        HostileCase{"redirectLoop", false, {.redirectTo = ""}, "服务器返回错误（HTTP 302）："},
        HostileCase{"status407FromTheServiceItself", false, status(407, R"({"error":"要认证"})"),
                    "服务器返回错误（HTTP 407）：要认证"},
        HostileCase{"oversizeBody", false, status(200, QByteArray(17 << 20, 'a')),
                    "服务器响应过大，已停止接收。"},
        HostileCase{"truncatedBody",
                    false,
                    {.truncateAfter = 10},
                    "服务器返回错误（HTTP 0）：连接服务器失败：…"},
        HostileCase{"downloadDigestMismatch", true, {}, "壁纸文件校验失败，已保留当前桌面。"},
        HostileCase{"downloadTruncated",
                    true,
                    {.truncateAfter = 1000},
                    "服务器返回错误（HTTP 0）：下载失败：…"},
        HostileCase{"downloadNotFound", true, status(404, R"({"error":"文件不存在"})"),
                    "服务器返回错误（HTTP 404）：文件不存在"},
        // Only the first MiB of an error answer counts: here all blanks, so the words after it
        // never reach the message.
        HostileCase{"downloadErrorBodyBeyondOneMiB", true,
                    status(500, QByteArray(1 << 20, ' ') + "tail", "text/plain"),
                    "服务器返回错误（HTTP 500）："},
        // Service text reaches terminals, log files and alerts: no escape sequences, line
        // overwrites or reordering marks, and no more than 300 characters, JSON or not.
        HostileCase{"longErrorWithTerminalControls", false,
                    status(401, R"({"error":"\u001b]0;pwned\u0007\r\u202Eok)" +
                                    QByteArray(400, 'x') + R"("})"),
                    kLongError.c_str()},
        HostileCase{"plainErrorWithTerminalControls", false,
                    status(503, "\x1b[2Kbusy\r\n\x07", "text/plain"),
                    "服务器返回错误（HTTP 503）：[2Kbusy"},
        // Endless or huge: the announced length is not believed, the ceiling holds.
        HostileCase{"downloadBeyondTheCeiling", true,
                    status(200, QByteArray(2 * kCeiling, 'a'), "image/jpeg"),
                    "下载内容超过 1 MB 的上限，已停止下载。"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
