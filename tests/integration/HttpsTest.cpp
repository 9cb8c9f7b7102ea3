// The client against the service over HTTPS with a certificate made for the test: only that
// certificate is trusted, and a redirect down to plain HTTP on the same host and port is refused.
#include "ClientHarness.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <QSslCertificate>

using namespace velmora;

namespace {

TEST(Https, OnlyTheTrustedCertificateWorksAndARedirectDownToPlainHttpIsRefused) {
    test::TempDir temp;
    dev::DevService::Options options;
    options.certFile = temp.path(QStringLiteral("cert.pem"));
    options.keyFile = temp.path(QStringLiteral("key.pem"));
    ASSERT_TRUE(dev::DevService::writeSelfSignedCertificate(options.certFile, options.keyFile));
    dev::DevService service(options);
    ASSERT_TRUE(service.start());
    const auto enrol = [&](const QList<QSslCertificate> &trusted) {
        auto client =
            WallpaperAPIClient::create(service.origin(), std::nullopt, NetworkProxyMode::Direct)
                .value();
        client->addTrustedCertificates(trusted);
        const Result<ActivationState> credential = test::await<ActivationState>([&](auto done) {
            client->registerDevice(QString(64, u'c'), QStringLiteral("测试机"), done);
        });
        client->useActivation(credential.ok() ? *credential : ActivationState{});
        return std::pair(std::move(client), test::failureOf(credential));
    };
    EXPECT_EQ(enrol({}).second,
              QStringLiteral(
                  "服务器返回错误（HTTP 0）：连接服务器失败：无法建立安全连接（TLS 握手失败）"));
    const auto [client, failure] = enrol(QSslCertificate::fromPath(options.certFile));
    ASSERT_EQ(failure, QString());
    dev::Fault downgrade;
    downgrade.redirectTo =
        service.origin().replace(QStringLiteral("https:"), QStringLiteral("http:")) +
        test::kTodayPath;
    service.setFault(test::kTodayPath, downgrade);
    EXPECT_EQ(test::failureOf(
                  test::await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); })),
              QStringLiteral("服务器返回错误（HTTP 302）："));
}

} // namespace
