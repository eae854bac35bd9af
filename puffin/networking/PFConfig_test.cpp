#include "puffin/networking/PFConfig.h"

#include <gtest/gtest.h>

#include "platform/foundation/UserDefaults.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

TEST(PFConfig, ReadersFallBackWhenNothingIsStored) {
    EXPECT_TRUE(PFConfig::webviewEnabled());
    EXPECT_EQ(PFConfig::webviewDirectories(), (Array{"templates", "videos"}));
    EXPECT_EQ(PFConfig::webviewVersion(), Value("v2"));
    EXPECT_EQ(PFConfig::cacheTimeToLive(), 864000);
    EXPECT_EQ(PFConfig::cacheMaxAdUnits(), 10);
    EXPECT_EQ(PFConfig::cacheMaxBytes(), 50000000);
    EXPECT_FALSE(PFConfig::retriesEnabled());
    EXPECT_FALSE(PFConfig::prefetchDisabled());
    EXPECT_FALSE(PFConfig::apiRetryRules());
    EXPECT_FALSE(PFConfig::appId());
    EXPECT_EQ(PFConfig::getAPIEndpointWebPrefetch(), "/webview/v2/prefetch");
    EXPECT_EQ(PFConfig::getAPIEndpointRewardedWebGet(), "/webview/v2/reward/get");
    EXPECT_EQ(PFConfig::getAPIEndpointInterstitialWebGet(), "/webview/v2/interstitial/get");
}

TEST(PFConfig, StoredSettingsAreReadUnderTheirNamespacedKeys) {
    PFConfig::setAppId("app-1");
    PFConfig::setAppSignature("sig");
    EXPECT_EQ(PFConfig::appId(), "app-1");
    EXPECT_EQ(PFConfig::appSignature(), "sig");
    auto& defaults = platform::UserDefaults::standard();
    EXPECT_EQ(defaults.string(PFConfig::namespacedKey("appId")), "app-1");
    EXPECT_EQ(PFConfig::namespacedKey("appId"), "com.puffin.sdk.appId");

    PFConfig::setObjectForKey(Dictionary{{"version", "v3"}}, PFConfig::namespacedKey("webview"));
    EXPECT_EQ(PFConfig::getAPIEndpointWebPrefetch(), "/webview/v3/prefetch");
    EXPECT_EQ(PFConfig::getAPIEndpointRewardedWebGet(), "/webview/v3/reward/get");
    EXPECT_EQ(PFConfig::getAPIEndpointInterstitialWebGet(), "/webview/v3/interstitial/get");
    EXPECT_TRUE(PFConfig::webviewEnabled());
    EXPECT_EQ(PFConfig::cacheMaxAdUnits(), 10);

    // Wrong types fall back or convert as the user defaults read them.
    PFConfig::setObjectForKey(
        Dictionary{
            {"directories", "x"}, {"cacheTTLs", "abc"}, {"cacheMaxUnits", "12"}, {"enabled", "NO"}},
        PFConfig::namespacedKey("webview"));
    EXPECT_EQ(PFConfig::webviewDirectories(), (Array{"templates", "videos"}));
    EXPECT_EQ(PFConfig::cacheTimeToLive(), 0);
    EXPECT_EQ(PFConfig::cacheMaxAdUnits(), 12);
    EXPECT_FALSE(PFConfig::webviewEnabled());
    PFConfig::setObjectForKey(Value(Array{}), PFConfig::namespacedKey("apiRetryRules"));
    EXPECT_FALSE(PFConfig::apiRetryRules());

    struct Case {
        Value value;
        bool truth;
    } booleans[] = {{"YES", true}, {"1", true}, {" true", true}, {"NO", false}, {"0", false},
                    {1, true},     {0, false},  {true, true},    {"", false}};
    for (const Case& c : booleans) {
        PFConfig::setObjectForKey(c.value, PFConfig::namespacedKey("retriesEnabledCoreDataSystem"));
        EXPECT_EQ(PFConfig::retriesEnabled(), c.truth) << c.value.asString();
    }
}

}  // namespace
