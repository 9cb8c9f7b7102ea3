// The client against the service over HTTPS with a certificate made for the test: only that
// certificate is trusted, and a redirect down to plain HTTP on the same host and port is refused.
#include "ClientHarness.h"
#include "support/TempDir.h"

#include <QSslCertificate>

using namespace velmora;

namespace {

class Https : public ::testing::Test {
protected:
    void SetUp() override {
        dev::DevService::Options options;
        options.certFile = temp.path(QStringLiteral("cert.pem"));
        options.keyFile = temp.path(QStringLiteral("key.pem"));
        ASSERT_TRUE(dev::DevService::writeSelfSignedCertificate(options.certFile, options.keyFile));
        service = std::make_unique<dev::DevService>(options);
        ASSERT_TRUE(service->start());
        client =
            WallpaperAPIClient::create(service->origin(), std::nullopt, NetworkProxyMode::Direct)
                .value();
    }

    Result<ActivationState> enrol() {
        return test::await<ActivationState>([&](auto done) {
            client->registerDevice(QString(64, u'c'), QStringLiteral("测试机"), done);
        });
    }

    test::TempDir temp;
    std::unique_ptr<dev::DevService> service;
    std::unique_ptr<WallpaperAPIClient> client;
};

TEST_F(Https, ARedirectDownToPlainHttpIsRefused) {
    client->addTrustedCertificates(
        QSslCertificate::fromPath(temp.path(QStringLiteral("cert.pem"))));
    const Result<ActivationState> credential = enrol();
    ASSERT_TRUE(credential.ok()) << credential.error().description().toStdString();
    client->useActivation(*credential);
    const QString today = QStringLiteral("/api/client/wallpaper/today");
    dev::Fault downgrade;
    downgrade.redirectTo =
        service->origin().replace(QStringLiteral("https:"), QStringLiteral("http:")) + today;
    service->setFault(today, downgrade);
    EXPECT_EQ(test::await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); })
                  .error()
                  .description(),
              QStringLiteral("服务器返回错误（HTTP 302）："));
}

TEST_F(Https, AnUntrustedCertificateIsATransportFailure) {
    EXPECT_EQ(test::failure(enrol())->description(),
              QStringLiteral(
                  "服务器返回错误（HTTP 0）：连接服务器失败：无法建立安全连接（TLS 握手失败）"));
}

} // namespace
