// The client against the service over HTTPS with a certificate made for the test: the normal
// path works, and a redirect down to plain HTTP on the same host and port is refused.
#include "ClientHarness.h"
#include "net/FileHasher.h"
#include "support/TempDir.h"

#include <QSslCertificate>

using namespace velmora;
using velmora::test::await;
using velmora::test::describe;
using velmora::test::TempDir;

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
        client = makeClient(QSslCertificate::fromPath(options.certFile));
        const Result<ActivationState> credential = await<ActivationState>([&](auto done) {
            client->registerDevice(QString(64, u'c'), QStringLiteral("测试机"), done);
        });
        ASSERT_TRUE(credential.ok()) << describe(credential.error()).toStdString();
        client->useActivation(*credential);
    }

    std::unique_ptr<WallpaperAPIClient> makeClient(const QList<QSslCertificate> &trusted) {
        auto made =
            WallpaperAPIClient::create(service->origin(), std::nullopt, NetworkProxyMode::Direct)
                .value();
        made->addTrustedCertificates(trusted);
        return made;
    }

    Result<WallpaperMetadata> today(WallpaperAPIClient &caller) {
        return await<WallpaperMetadata>([&](auto done) { caller.fetchToday(done); });
    }

    TempDir temp;
    std::unique_ptr<dev::DevService> service;
    std::unique_ptr<WallpaperAPIClient> client;
};

TEST_F(Https, TodayAndItsVerifiedDownloadWork) {
    const Result<WallpaperMetadata> descriptor = today(*client);
    ASSERT_TRUE(descriptor.ok()) << describe(descriptor.error()).toStdString();
    const QString destination = temp.path(QStringLiteral("today.jpg"));
    const Result<QString> saved = await<QString>([&](auto done) {
        client->download(descriptor->downloadURL, descriptor->sha256, destination, done);
    });
    ASSERT_TRUE(saved.ok()) << describe(saved.error()).toStdString();
    EXPECT_EQ(FileHasher::sha256(destination).value(), descriptor->sha256);
}

TEST_F(Https, ARedirectDownToPlainHttpIsRefused) {
    dev::Fault downgrade;
    downgrade.redirectTo =
        service->origin().replace(QStringLiteral("https:"), QStringLiteral("http:")) +
        QStringLiteral("/api/client/wallpaper/today");
    service->setFault(QStringLiteral("/api/client/wallpaper/today"), downgrade);
    EXPECT_EQ(describe(today(*client).error()), QStringLiteral("服务器返回错误（HTTP 302）："));
    EXPECT_EQ(service->requests().size(), 2u) << "only the registration and the redirected call";
}

TEST_F(Https, AnUntrustedCertificateIsATransportFailure) {
    auto stranger = makeClient({});
    stranger->useActivation(*client->activation());
    EXPECT_EQ(describe(today(*stranger).error()),
              QStringLiteral(
                  "服务器返回错误（HTTP 0）：连接服务器失败：无法建立安全连接（TLS 握手失败）"));
}

} // namespace
