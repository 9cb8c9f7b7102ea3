#include "core/ClientError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using velmora::ClientError;
using velmora::Error;

namespace {

struct DescriptionCase {
    const char *name;
    ClientError error;
    const char *expected;
};

class ClientErrorDescription : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(ClientErrorDescription, ReadsExactly) {
    EXPECT_EQ(GetParam().error.description(), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    AllCases, ClientErrorDescription,
    ::testing::Values(
        DescriptionCase{"invalidServer", ClientError::invalidServer(QStringLiteral("ftp://x")),
                        "服务器地址无效：ftp://x"},
        DescriptionCase{"invalidServerEmpty", ClientError::invalidServer({}), "服务器地址无效："},
        DescriptionCase{"server503", ClientError::server(503, QStringLiteral("维护中")),
                        "服务器返回错误（HTTP 503）：维护中"},
        DescriptionCase{"serverEmptyMessage", ClientError::server(404, {}),
                        "服务器返回错误（HTTP 404）："},
        DescriptionCase{"malformedData",
                        ClientError::malformedData(QStringLiteral("激活凭证格式无效。")),
                        "激活凭证格式无效。"},
        DescriptionCase{"fileSystem", ClientError::fileSystem(QStringLiteral("磁盘已满。")),
                        "磁盘已满。"},
        DescriptionCase{"wallpaper", ClientError::wallpaper(QStringLiteral("无法设置桌面。")),
                        "无法设置桌面。"},
        DescriptionCase{"invalidResponse", ClientError::invalidResponse(), "服务器响应格式无效。"},
        DescriptionCase{"missingActivation", ClientError::missingActivation(),
                        "客户端尚未完成自动连接，请稍后重试。"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ClientErrorWrapping, PrefixesNestAndForeignErrorsKeepTheirWords) {
    const Error inner =
        ClientError::fileSystem(QStringLiteral("客户端数据目录不能是符号链接：/x/logs"));
    const ClientError once =
        velmora::wrapFileSystemError(QStringLiteral("无法创建客户端数据目录："), inner);
    EXPECT_EQ(once.kind(), ClientError::Kind::FileSystem);
    EXPECT_EQ(once.description(),
              QStringLiteral("无法创建客户端数据目录：客户端数据目录不能是符号链接：/x/logs"));

    const Error foreign = Error::foreign(QStringLiteral("没有访问权限。"));
    EXPECT_EQ(foreign.clientError(), nullptr);
    EXPECT_EQ(velmora::wrapFileSystemError(QStringLiteral("无法保存："), foreign).description(),
              QStringLiteral("无法保存：没有访问权限。"));
    EXPECT_TRUE(Error(once).is(ClientError::Kind::FileSystem));
    EXPECT_FALSE(foreign.is(ClientError::Kind::FileSystem));
}

} // namespace
