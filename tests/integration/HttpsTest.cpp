// The client against the service over HTTPS with a certificate made for the test: the normal
// path works, and a redirect down to plain HTTP on the same host and port is refused.
#include "ClientHarness.h"
#include "net/FileHasher.h"
#include "support/TempDir.h"

#include <QFile>
#include <QSslCertificate>

using namespace velmora;
using velmora::test::await;
using velmora::test::TempDir;

namespace {

class Https : public ::testing::Test {
protected:
    void SetUp() override {
        const QString cert = temp.path(QStringLiteral("cert.pem"));
        const QString key = temp.path(QStringLiteral("key.pem"));
        QString error;
        ASSERT_TRUE(dev::DevService::writeSelfSignedCertificate(cert, key, &error))
            << error.toStdString();
        dev::DevService::Options options;
        options.certFile = cert;
        options.keyFile = key;
        service = std::make_unique<dev::DevService>(options);
        ASSERT_TRUE(service->start());
        ASSERT_TRUE(service->origin().startsWith(QStringLiteral("https://")));

        client =
            WallpaperAPIClient::create(service->origin(), std::nullopt, NetworkProxyMode::Direct)
                .value();
        QFile pem(cert);
        ASSERT_TRUE(pem.open(QIODevice::ReadOnly));
        client->addTrustedCertificates(QSslCertificate::fromData(pem.readAll(), QSsl::Pem));
        const Result<ActivationState> credential = await<ActivationState>([&](auto done) {
            client->registerDevice(QString(64, u'c'), QStringLiteral("测试机"), done);
        });
        ASSERT_TRUE(credential.ok()) << credential.error().description().toStdString();
        client->useActivation(*credential);
    }

    TempDir temp;
    std::unique_ptr<dev::DevService> service;
    std::unique_ptr<WallpaperAPIClient> client;
};

TEST_F(Https, TodayAndItsVerifiedDownloadWork) {
    const Result<WallpaperMetadata> today =
        await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); });
    ASSERT_TRUE(today.ok()) << today.error().description().toStdString();
    const QString destination = temp.path(QStringLiteral("today.jpg"));
    const Result<QString> saved = await<QString>(
        [&](auto done) { client->download(today->downloadURL, today->sha256, destination, done); });
    ASSERT_TRUE(saved.ok()) << saved.error().description().toStdString();
    EXPECT_EQ(FileHasher::sha256(destination).value(), today->sha256);
}

TEST_F(Https, ARedirectDownToPlainHttpIsRefused) {
    const QString plain =
        service->origin().replace(QStringLiteral("https://"), QStringLiteral("http://"));
    dev::Fault downgrade;
    downgrade.redirectTo = plain + QStringLiteral("/api/client/wallpaper/today");
    service->setFault(QStringLiteral("/api/client/wallpaper/today"), downgrade);
    const Result<WallpaperMetadata> today =
        await<WallpaperMetadata>([&](auto done) { client->fetchToday(done); });
    ASSERT_FALSE(today.ok());
    EXPECT_EQ(today.error().description(), QStringLiteral("服务器返回错误（HTTP 302）："));
    EXPECT_EQ(service->requests().size(), 2u) << "only the registration and the redirected call";
}

TEST_F(Https, AnUntrustedCertificateIsATransportFailure) {
    auto stranger = WallpaperAPIClient::create(service->origin(), client->activation(),
                                               NetworkProxyMode::Direct)
                        .value();
    const Result<WallpaperMetadata> today =
        await<WallpaperMetadata>([&](auto done) { stranger->fetchToday(done); });
    ASSERT_FALSE(today.ok());
    EXPECT_EQ(today.error().description(),
              QStringLiteral(
                  "服务器返回错误（HTTP 0）：连接服务器失败：无法建立安全连接（TLS 握手失败）"));
}

} // namespace
