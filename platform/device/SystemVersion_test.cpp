#include "platform/device/SystemVersion.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace platform::device {
namespace {

TEST(SystemVersion, DefaultEnvironmentAndOverride) {
    unsetenv("QEN_SYSTEM_VERSION");
    EXPECT_EQ(systemVersion(), "8.4");
    setenv("QEN_SYSTEM_VERSION", "6.1.3", 1);
    EXPECT_EQ(systemVersion(), "6.1.3");
    setSystemVersion("7.0");
    EXPECT_EQ(systemVersion(), "7.0");
    setSystemVersion(std::nullopt);
    EXPECT_EQ(systemVersion(), "6.1.3");
}

}  // namespace
}  // namespace platform::device
