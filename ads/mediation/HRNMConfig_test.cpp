#include "ads/mediation/HRNMConfig.h"

#include <gtest/gtest.h>

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/mediation/HRNMTestAdapters_test.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"

using platform::Dictionary;
using platform::Value;

namespace {

platform::Value json(const std::string& text) {
    platform::Error error;
    auto value = hrn_decodedJSONObjectError(text, &error);
    EXPECT_TRUE(value) << text;
    return value.value_or(Value());
}

std::shared_ptr<HRNMConfig> parse(const std::string& text,
                                  std::optional<platform::Error>* error = nullptr) {
    const Value body = json(text);
    return HRNMConfig::initWithAppKeyConfigDictError("unit-1", &body, error);
}

std::shared_ptr<HRNMConfig> withSettings(const std::string& settings) {
    return parse(R"({"ad_type": "interstitial", "settings": )" + settings +
                 R"(, "ad_networks": []})");
}

TEST(HRNMConfig, SettingsAndTheirDefaults) {
    auto plain = withSettings("{}");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->adNetworkTimeout(), 10.0);
    EXPECT_EQ(plain->bannerAnimationType(), 8);
    EXPECT_EQ(plain->refreshInterval(), 0);
    EXPECT_EQ(plain->impressionDefinition(), 0);
    EXPECT_EQ(plain->appKey(), "unit-1");
    EXPECT_FALSE(plain->rewards());

    struct Case {
        const char* settings;
        double timeout;
        int64_t animation;
        double refresh;
        int64_t impression;
    };
    const Case cases[] = {
        {R"({"ad_network_timeout_millis": 2500})", 2.5, 8, 0, 0},
        {R"({"ad_network_timeout_millis": "1500"})", 1.5, 8, 0, 0},  // numeric text
        {R"({"ad_transition_anim": 9})", 10, 8, 0, 0},
        {R"({"ad_transition_anim": -1})", 10, 8, 0, 0},
        {R"({"ad_transition_anim": 0})", 10, 0, 0, 0},
        {R"({"ad_transition_anim": true})", 10, 1, 0, 0},  // a boolean is a number
        {R"({"refresh": 30000})", 10, 8, 0, 0},
        {R"({"refresh": 29999.5})", 10, 8, 29999.5, 0},
        {R"({"refresh": [60]})", 10, 8, 0, 0},  // not a number: ignored
        {R"({"use_displayed_impression": true})", 10, 8, 0, 1},
        {R"({"use_displayed_impression": "NO"})", 10, 8, 0, 0},
    };
    for (const Case& c : cases) {
        auto config = withSettings(c.settings);
        ASSERT_TRUE(config) << c.settings;
        EXPECT_EQ(config->adNetworkTimeout(), c.timeout) << c.settings;
        EXPECT_EQ(config->bannerAnimationType(), c.animation) << c.settings;
        EXPECT_EQ(config->refreshInterval(), c.refresh) << c.settings;
        EXPECT_EQ(config->impressionDefinition(), c.impression) << c.settings;
    }

    auto full = parse(R"({"ad_type": "interstitial", "qdata": "q=1",
        "settings": {"imp_urls": ["https://i"], "click_urls": ["https://c"],
                     "nofill_urls": ["https://n"], "rewards": [{"rb_type": "t", "rb_amount": 2}]},
        "ad_networks": []})");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->qdata(), "q=1");
    EXPECT_EQ(full->impressionURLs(), platform::Array{"https://i"});
    EXPECT_EQ(full->clickURLs(), platform::Array{"https://c"});
    EXPECT_EQ(full->noFillURLs(), platform::Array{"https://n"});
    ASSERT_TRUE(full->rewards());
    EXPECT_EQ(full->rewards()->size(), 1u);
}

TEST(HRNMConfig, RenderInBrowserIsStoredAsAPersistentFlag) {
    EXPECT_FALSE(HRNSettingValue("render_in_browser"));
    withSettings(R"({"render_in_browser": true})");
    EXPECT_EQ(HRNSettingValue("render_in_browser"), Value(true));
    withSettings(R"({"render_in_browser": "0"})");
    EXPECT_EQ(HRNSettingValue("render_in_browser"), Value(false));
    withSettings(R"({})");
    EXPECT_EQ(HRNSettingValue("render_in_browser"), Value(false)) << "absent leaves it";
}

TEST(HRNMConfig, AdTypeNames) {
    struct Case {
        const char* name;
        double width, height;
        bool interstitial, valid;
    };
    const Case cases[] = {
        {"banner", 320, 50, false, true},      {"largebanner", 320, 100, false, true},
        {"mrec", 300, 250, false, true},       {"fullbanner", 468, 60, false, true},
        {"leaderboard", 728, 90, false, true}, {"skyscraper", 120, 600, false, true},
        {"interstitial", 0, 0, true, true},    {"video", -1, -1, false, false},
    };
    for (const Case& c : cases) {
        auto type = HRNMConfig::adTypeFromString(std::string(c.name));
        EXPECT_EQ(type->isInterstitial(), c.interstitial) << c.name;
        if (!c.interstitial) {
            EXPECT_EQ(type->adSize().size.width, c.width) << c.name;
            EXPECT_EQ(type->adSize().size.height, c.height) << c.name;
            EXPECT_EQ(type->adSize().flags, 0u) << c.name;
        }
    }
    // An unknown type still parses; validity is the slot's business.
    auto config = parse(R"({"ad_type": "video", "ad_networks": []})");
    ASSERT_TRUE(config);
    EXPECT_EQ(config->adType()->adSize().size.width, -1);
    const Value noType = json(R"({"ad_networks": []})");
    EXPECT_EQ(HRNMConfig::peekAdTypeFromConfig(&noType)->adSize().size.width, -1);
}

TEST(HRNMConfig, AnAnswerWithoutUsableNetworksOrIDsFails) {
    struct Case {
        const char* body;
        std::string message;
    };
    const Case cases[] = {
        {R"({"ad_type": "interstitial"})", "Request Error: The mediation response was invalid."},
        {R"({"ad_networks": {"id": "1"}})", "Request Error: The mediation response was invalid."},
        {R"([1, 2])", "Request Error: The mediation response was invalid."},
        {R"({"ad_networks": [{"id": "1"}, {"adapters": []}]})",
         "The Heron Mediation response was invalid: An ad network config has no network ID."},
        {R"({"ad_networks": [{"id": [1]}]})",
         "The Heron Mediation response was invalid: An ad network config has an invalid network "
         "ID."},
    };
    for (const Case& c : cases) {
        std::optional<platform::Error> error;
        EXPECT_FALSE(parse(c.body, &error)) << c.body;
        ASSERT_TRUE(error) << c.body;
        EXPECT_EQ(error->domain, kHRNErrorDomain);
        EXPECT_EQ(error->code, kHRNErrorMediationDataError) << c.body;
        EXPECT_EQ(error->localizedDescription(), c.message) << c.body;
    }
    // A body that is no JSON at all reaches the parser as nothing.
    std::optional<platform::Error> error;
    EXPECT_FALSE(HRNMConfig::initWithAppKeyConfigDictError("u", nullptr, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, kHRNErrorMediationDataError);
    EXPECT_FALSE(HRNMConfig::initWithAppKeyConfigDictError("u", nullptr, nullptr));
}

TEST(HRNMConfig, NetworkEntriesKeepTheirFields) {
    hrntest::registerDiscoveryAdapters();
    auto config = parse(R"({"ad_type": "interstitial", "ad_networks": [
        "not an entry",
        {"id": 42, "adapters": ["TestInterstitialAdapter"], "allocation_id": 7,
         "data": {"pubid": "pub-1", "key": "v"}, "extras": {"e": "1"}, "ad": {"html": "x"},
         "imp_urls": ["https://i"], "clickurl": ["https://c"], "fill_urls": ["https://f"],
         "video_start_urls": ["https://s"], "video_complete_urls": ["https://r"],
         "html_template": "<b>", "ad_base_url": "https://b", "template_ids": ["t"],
         "assets": {"a": 1}, "ad_loader_options": {"o": 1}},
        {"id": "n2", "adapters": ["TestInterstitialAdapter"], "data": "wrong kind",
         "clickurl": "wrong kind", "allocation_id": "alloc-2"}]})");
    ASSERT_TRUE(config);
    ASSERT_EQ(config->adNetworkConfigs().size(), 2u);
    const auto& first = *config->adNetworkConfigs()[0];
    EXPECT_EQ(first.networkID(), "42");
    EXPECT_EQ(first.adapterClass(), "TestInterstitialAdapter");
    EXPECT_EQ(first.publisherID(), "pub-1");
    EXPECT_EQ(first.allocationIDString(), "7");
    EXPECT_EQ(first.extras(), (Dictionary{{"e", "1"}}));
    EXPECT_EQ(first.ad(), (Dictionary{{"html", "x"}}));
    EXPECT_EQ(first.impressionURLs(), platform::Array{"https://i"});
    EXPECT_EQ(first.clickURLs(), platform::Array{"https://c"});
    EXPECT_EQ(first.fillURLs(), platform::Array{"https://f"});
    EXPECT_EQ(first.videoStartURLs(), platform::Array{"https://s"});
    EXPECT_EQ(first.rewardedUserURLs(), platform::Array{"https://r"});
    EXPECT_EQ(first.nativeExpressHTMLTemplate(), "<b>");
    EXPECT_EQ(first.nativeExpressAdBaseURL(), "https://b");
    EXPECT_EQ(first.description(), "networkID:42 adapter:TestInterstitialAdapter data:pub-1");
    const auto& second = *config->adNetworkConfigs()[1];
    EXPECT_EQ(second.networkID(), "n2");
    EXPECT_FALSE(second.credentials());
    EXPECT_FALSE(second.clickURLs());
    EXPECT_FALSE(second.publisherID());
    EXPECT_EQ(second.allocationIDString(), "alloc-2");
}

// The first usable class of "adapters" serves the entry; adapter problems are code 8 errors
// that go to the public log and never fail the answer.
TEST(HRNMConfig, TheFirstUsableAdapterClassIsChosen) {
    hrntest::registerDiscoveryAdapters();
    hrntest::registerRewardedAdapter("TestRewardedAdapter", {});
    const std::string missing =
        "Remember to link all required ad network adapters and SDKs, and set -ObjC in the 'Other "
        "Linker Flags' setting of your build target.";
    struct Case {
        const char* adapters;
        std::optional<std::string> chosen;
        std::optional<std::string> message;
    };
    const Case cases[] = {
        {R"(["NoSuchClass", "TestInterstitialAdapter"])", "TestInterstitialAdapter", std::nullopt},
        {R"(["TestBannerSubAdapter", "TestInterstitialAdapter"])", "TestBannerSubAdapter",
         std::nullopt},
        {R"(["TestRewardedAdapter"])", "TestRewardedAdapter", std::nullopt},
        {R"(["NoSuchClass"])", std::nullopt,
         "Cannot find an ad network adapter with the name(s): NoSuchClass. " + missing},
        {R"(["NoSuchClass", 7, "TestNotAnAdapter"])", std::nullopt,
         "Cannot find an ad network adapter with the name(s): NoSuchClass,TestNotAnAdapter. " +
             missing},
        {R"([])", std::nullopt, "Cannot find an ad network adapter with the name(s): . " + missing},
        {R"("TestInterstitialAdapter")", std::nullopt,
         "Cannot find an ad network adapter with the name(s): . " + missing},
        {R"(["TestOldAdapter", "TestInterstitialAdapter"])", "TestInterstitialAdapter",
         "Ad network adapter TestOldAdapter implements an old API. Please update the adapter."},
        {R"(["TestOldAdapter", "TestOtherOldAdapter"])", std::nullopt,
         "Ad network adapters (TestOldAdapter, TestOtherOldAdapter) implement an old API. Please "
         "update the adapters. No valid adapters found for this ad network."},
        {R"(["TestInterstitialAdapter", "TestOldAdapter"])", "TestInterstitialAdapter",
         std::nullopt},  // the walk stops at the chosen class
    };
    for (const Case& c : cases) {
        platform::LogCapture log;
        std::optional<platform::Error> error;
        const Value entry = json(std::string(R"({"id": "1", "adapters": )") + c.adapters + "}");
        auto network = HRNMAdNetworkConfig::initWithDictionaryError(*entry.dictionary(), &error);
        ASSERT_TRUE(network) << c.adapters;
        EXPECT_EQ(network->adapterClass(), c.chosen) << c.adapters;
        if (!c.message) {
            EXPECT_FALSE(error) << c.adapters;
            continue;
        }
        ASSERT_TRUE(error) << c.adapters;
        EXPECT_EQ(error->code, kHRNErrorMediationAdapterError);
        EXPECT_EQ(error->localizedDescription(), *c.message) << c.adapters;

        // Within a whole answer: the entry stays, the message reaches the public log.
        std::optional<platform::Error> answerError;
        auto config = parse(std::string(R"({"ad_type": "interstitial", "ad_networks": [)") +
                                R"({"id": "1", "adapters": )" + c.adapters + "}]}",
                            &answerError);
        ASSERT_TRUE(config) << c.adapters;
        EXPECT_FALSE(answerError);
        EXPECT_EQ(config->adNetworkConfigs().size(), 1u);
        EXPECT_TRUE(platform::RunLoop::main().runUntil(
            [&] { return log.contains("<Heron> " + *c.message); }, 10))
            << c.adapters;
    }
}

TEST(HRNMConfig, CustomEventsResolveToThePublishersClass) {
    hrntest::registerDiscoveryAdapters();
    platform::runtime::registerClass(
        platform::runtime::Class{"HRNMAdapterCustomEvents",
                                 hrntest::discoveryFactory("HRNMAdapterCustomEvents"),
                                 {HRNMAdNetworkAdapter::kProtocolName},
                                 "TestInterstitialAdapter",
                                 {},
                                 {}});
    struct Case {
        const char* data;
        std::optional<std::string> chosen;
        std::optional<std::string> message;
    };
    const Case cases[] = {
        {R"({"class_name": "TestInterstitialAdapter"})", "TestInterstitialAdapter", std::nullopt},
        {R"({})", "HRNMAdapterCustomEvents", "Custom event adapter class name is empty."},
        {R"({"class_name": "TestNotAnAdapter"})", std::nullopt,
         "Class TestNotAnAdapter does not conforms to mediation protocols."},
        {R"({"class_name": "Nowhere"})", std::nullopt,
         "Cannot find an ad network adapter with the name(s): Nowhere. Remember to link all "
         "required ad network adapters and SDKs, and set -ObjC in the 'Other Linker Flags' "
         "setting of your build target."},
    };
    for (const Case& c : cases) {
        const Value entry =
            json(std::string(R"({"id": "1", "adapters": ["HRNMAdapterCustomEvents"], "data": )") +
                 c.data + "}");
        auto network = HRNMAdNetworkConfig::initWithDictionaryError(*entry.dictionary(), nullptr);
        ASSERT_TRUE(network);
        std::optional<platform::Error> error;
        EXPECT_EQ(network->resolveAdNetworkClassForCustomEventWithError(&error), !c.message)
            << c.data;
        EXPECT_EQ(network->adapterClass(), c.chosen) << c.data;
        if (c.message) {
            ASSERT_TRUE(error);
            EXPECT_EQ(error->code, kHRNErrorMediationAdapterError);
            EXPECT_EQ(error->localizedDescription(), *c.message);
        }
    }
}

}  // namespace
