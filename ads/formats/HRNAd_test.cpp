#include "ads/formats/HRNAd.h"

#include <gtest/gtest.h>

#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/rendering/opener/HRNSwipeToViewControllerConfigurations.h"
#include "platform/foundation/PropertyList.h"

namespace {

using platform::Array;
using platform::Dictionary;

std::shared_ptr<HRNAd> adFrom(const char* json) {
    return HRNAd::initWithDictionary(*platform::json::parse(json)->dictionary());
}

TEST(HRNAd, TheMarkupWithItsBaseURLOrTheURLToFetch) {
    auto withHTML = adFrom(R"({"ad_html": "<p>ad</p>", "ad_base_url": "https://a.test/",
                               "ad_url": "https://a.test/fetch"})");
    EXPECT_EQ(withHTML->adHTML(), "<p>ad</p>");
    EXPECT_EQ(withHTML->adBaseURL()->absoluteString(), "https://a.test/");
    EXPECT_FALSE(withHTML->adURL());
    for (const char* json :
         {R"({"ad_html": "", "ad_base_url": "https://a.test/", "ad_url": "https://a.test/f"})",
          R"({"ad_html": "<p>ad</p>", "ad_url": "https://a.test/f"})"}) {
        auto ad = adFrom(json);
        EXPECT_TRUE(ad->adHTML().empty()) << json;
        EXPECT_EQ(ad->adURL()->absoluteString(), "https://a.test/f") << json;
    }
    auto json = adFrom(R"({"ad_json": {"headline": "Buy"}})");
    EXPECT_EQ(json->adHTML(), R"({"headline":"Buy"})");
    auto both =
        adFrom(R"({"ad_json": {"x": 1}, "ad_html": "<b>", "ad_base_url": "https://a.test/"})");
    EXPECT_EQ(both->adHTML(), "<b>");
}

TEST(HRNAd, KeysOfTheAnswerAndTheirDefaults) {
    auto plain = adFrom("{}");
    EXPECT_EQ(plain->supportedOrientations(), 30u);
    EXPECT_EQ(plain->croppedContentThreshold(), 10000.0);
    EXPECT_TRUE(plain->isScrollEnabled());
    ASSERT_TRUE(plain->autoClickProtection());
    EXPECT_FALSE(plain->autoClickProtection()->enabled());

    auto ad = adFrom(R"({"ad_size": "320x50", "orientation": "portrait", "ad_is_javascript": 1,
        "ad_passback_url": "https://a.test/pass", "debug_dialog": "dbg", "viewability": {"v": 1},
        "use_displayed_impression": true, "auto_protection_configuration": {"enable_protection": true},
        "_native_interstitial_size_width": 300, "_native_cropped_content_threshold": "12.5",
        "click_urls": ["https://a.test/c", "not a url ::", 4], "impression_urls": ["https://a.test/i"],
        "swipe_to_viewcontroller": {"app_store_product_id": 42}})");
    EXPECT_EQ(ad->size(), (platform::render::Size{320, 50}));  // a width alone changes nothing
    EXPECT_EQ(ad->supportedOrientations(), 6u);
    EXPECT_TRUE(ad->hasAdNetworkJavaScript());
    EXPECT_EQ(ad->adNetworkPassbackURL()->absoluteString(), "https://a.test/pass");
    EXPECT_EQ(ad->debugDialogString(), "dbg");
    EXPECT_TRUE(ad->viewabilityConfigurations());
    EXPECT_EQ(ad->impressionDefinition(), 1);
    EXPECT_TRUE(ad->autoClickProtection()->enabled());
    EXPECT_EQ(ad->croppedContentThreshold(), 12.5);
    EXPECT_EQ(ad->clickURLs().size(), 1u);
    EXPECT_EQ(ad->swipeToViewControllerConfigurations()->swipeableInAppStoreProductID(), 42);
    EXPECT_EQ(adFrom(R"({"orientation": "sideways"})")->supportedOrientations(), 30u);

    auto banner = HRNBannerAd::initWithDictionary(Dictionary{{"refresh_rate", 45}});
    EXPECT_EQ(banner->reloadInterval(), 45);
    EXPECT_EQ(HRNBannerAd::initWithDictionary(Dictionary{{"refresh_rate", "45"}})->reloadInterval(),
              0);
}

TEST(HRNAd, ClickURLsAreKeptAndImpressionURLsGoOnce) {
    auto ad = adFrom(
        R"({"click_urls": ["http://127.0.0.1:9/c"], "impression_urls": ["http://127.0.0.1:9/i"]})");
    ad->addClickURLsFromArray({*platform::net::URL::parse("http://127.0.0.1:9/c")});
    EXPECT_EQ(ad->clickURLs().size(), 1u);  // a set
    ad->pingClickURLs();
    ad->pingClickURLs();
    EXPECT_EQ(ad->clickURLs().size(), 1u);
    ad->pingImpressionURLs();
    EXPECT_TRUE(ad->impressionURLs().empty());
}

TEST(HRNSwipeToViewControllerConfigurations, ReadsOnlyValuesOfTheirKind) {
    auto configurations = HRNSwipeToViewControllerConfigurations::initWithSwipeConfigurations(
        *platform::json::parse(R"({"app_store_product_id": "42",
            "swipeable_rectangles": [{"x": 0, "y": 0, "width": 10, "height": 20},
                                     {"x": 0, "y": 0, "width": "10", "height": 20}, 7,
                                     {"x": 5, "y": 6, "width": 7, "height": 8}],
            "swipe_animation_transition_duration": -1,
            "swipe_event_creative_metadata": {"id": "m"}})")
             ->dictionary());
    EXPECT_FALSE(configurations->swipeableInAppStoreProductID());
    ASSERT_TRUE(configurations->swipeableRectangles());
    EXPECT_EQ(*configurations->swipeableRectangles(),
              (std::vector<platform::render::Rect>{{0, 0, 10, 20}, {5, 6, 7, 8}}));
    EXPECT_EQ(configurations->swipeAnimationTransitionDuration(), 1.0);
    EXPECT_EQ(configurations->swipeEventCreativeMetadata(), (Dictionary{{"id", "m"}}));
    EXPECT_EQ(configurations->swipeDirection(), 0);
    EXPECT_FALSE(HRNSwipeToViewControllerConfigurations::initWithSwipeConfigurations(
                     Dictionary{{"swipeable_rectangles", Array{7}}})
                     ->swipeableRectangles());

    platform::Error error;
    EXPECT_EQ(HRNRectFromDictionary(Dictionary{{"x", 1}}, &error), platform::render::Rect());
    EXPECT_EQ(error.domain, "cg_rect_conversion");
    EXPECT_EQ(HRNDictionaryFromRect({1, 2, 3, 4})["height"], platform::Value(4.0));
}

}  // namespace
