// The client against the service over HTTPS with a certificate made for the test: only a
// certificate the client was given is trusted, and the failure says the secure connection failed.
#include "ClientHarness.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

#include <QSslCertificate>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

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
        EXPECT_EQ(test::failureOf(test::await<ActivationState>([&](auto done) {
                      client->registerDevice(QString(64, u'c'), u"测试机"_s, done);
                  })),
                  trusted ? QString()
                          : QStringLiteral("服务器返回错误（HTTP 0）：连接服务器失败：无法建立安全"
                                           "连接（TLS 握手失败）"));
    }
}

} // namespace
