#include "core/ClientError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using velmora::ClientError;
using velmora::Error;

namespace {

TEST(ClientErrorDescription, FormattedKindsReadExactly) {
    const std::pair<ClientError, const char *> cases[] = {
        {ClientError::invalidServer(QStringLiteral("ftp://x")), "服务器地址无效：ftp://x"},
        {ClientError::server(503, QStringLiteral("维护中")), "服务器返回错误（HTTP 503）：维护中"},
    };
    for (const auto &[error, expected] : cases)
        EXPECT_EQ(error.description(), QString::fromUtf8(expected));
}

TEST(ClientErrorWrapping, PrefixesNestAndForeignErrorsKeepTheirWords) {
    const ClientError once = velmora::wrapFileSystemError(
        QStringLiteral("无法创建客户端数据目录："),
        ClientError::fileSystem(QStringLiteral("客户端数据目录不能是符号链接：/x/logs")));
    EXPECT_TRUE(Error(once).is(ClientError::Kind::FileSystem));
    EXPECT_EQ(once.description(),
              QStringLiteral("无法创建客户端数据目录：客户端数据目录不能是符号链接：/x/logs"));

    const Error foreign = Error::foreign(QStringLiteral("没有访问权限。"));
    EXPECT_FALSE(foreign.is(ClientError::Kind::FileSystem));
    EXPECT_EQ(velmora::wrapFileSystemError(QStringLiteral("无法保存："), foreign).description(),
              QStringLiteral("无法保存：没有访问权限。"));
}

} // namespace
