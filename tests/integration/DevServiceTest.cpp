// The client tests hand credentials to the development service and cannot tell on their own
// whether anything but this machine could reach it.

#include "DevService.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using velmora::dev::DevService;

namespace {

TEST(DevService, BindsLoopbackOnly) {
    for (const char *address : {"0.0.0.0", "::", "192.168.1.10", "example.com"}) {
        DevService::Options options;
        options.bindAddress = QString::fromLatin1(address);
        EXPECT_FALSE(DevService(options).start()) << address;
    }
    DevService::Options local;
    local.bindAddress = u"localhost"_s;
    DevService service(local);
    ASSERT_TRUE(service.start());
    EXPECT_EQ(service.origin(), u"http://127.0.0.1:%1"_s.arg(service.port()));
}

} // namespace
