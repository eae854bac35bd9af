#include "puffin/core/PFIdentity.h"

#include <gtest/gtest.h>

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/PropertyList.h"
#include "puffin/core/PFPlatformFrameworks.h"

namespace {

// The identity dictionary, decoded from its Base64 text.
platform::Value decoded(const std::string& identity) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : identity) {
        if (c == '=') break;
        buffer = buffer << 6 | static_cast<uint32_t>(alphabet.find(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return platform::json::parse(bytes).value_or(platform::Value());
}

TEST(PFIdentity, BundlesTheDeviceIdentifiers) {
    PFRegisterClasses();
    const std::string identity = PFIdentity::hexIdentifier();
    EXPECT_EQ(identity, PFIdentity::combinedIdentifier());  // stable while nothing changes
    const platform::Value fields = decoded(identity);
    ASSERT_TRUE(fields.isDictionary()) << identity;
    EXPECT_TRUE(fields.find("uuid")->isNull());
    std::string ifa = platform::device::advertisingIdentifier();
    std::erase(ifa, '-');
    for (char& c : ifa)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(fields.find("ifa")->asString(), ifa);
    EXPECT_EQ(fields.find("ifv")->asString().size(), 32u);
    ASSERT_TRUE(fields.find("macid"));
    if (!fields.find("macid")->isNull()) {
        EXPECT_EQ(fields.find("macid")->asString().size(), 40u);
    }
    EXPECT_TRUE(PFIdentity::advertisingTrackingEnabled());
    platform::device::setAdvertisingTrackingEnabled(false);
    EXPECT_FALSE(PFIdentity::advertisingTrackingEnabled());
}

TEST(PFIdentity, WithoutTheAdvertisingFrameworkIfaIsNullAndTrackingOn) {
    PFRegisterClasses();
    platform::device::setAdvertisingTrackingEnabled(false);
    platform::runtime::markFrameworkAbsent("AdSupport");
    EXPECT_TRUE(decoded(PFIdentity::combinedIdentifier()).find("ifa")->isNull());
    EXPECT_TRUE(PFIdentity::advertisingTrackingEnabled());
}

}  // namespace
