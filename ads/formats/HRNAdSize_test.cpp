#include "ads/formats/HRNAdSize.h"

#include <gtest/gtest.h>

#include "ads/foundation/HRNDevice.h"
#include "platform/device/DeviceFacts.h"

namespace {

using platform::render::Size;

class HRNAdSizeTest : public ::testing::Test {
  protected:
    // A phone of 320 x 568 points in portrait.
    void SetUp() override { HRNDevice::sharedInstance()->cacheStaticParameters(); }
};

TEST_F(HRNAdSizeTest, SizesConvertToPointsOnThisDevice) {
    const struct {
        HRNAdSize size;
        Size points;
    } cases[] = {
        {kHRNAdSizeBanner, {320, 50}},
        {kHRNAdSizeMediumRectangle, {300, 250}},
        {{{320, 60}, 0}, {0, 0}},   // not a standard size
        {{{250, 300}, 0}, {0, 0}},  // a standard size turned round is not one
        {kHRNAdSizeInvalid, {0, 0}},
        {kHRNAdSizeSmartBannerPortrait, {320, 50}},
        {kHRNAdSizeSmartBannerLandscape, {568, 32}},
        {{{0, 75}, 0x3}, {320, 75}},  // full width with a custom height
        {{{0, 75}, 0x2}, {0, 0}},     // full width alone
        {{{300, 200}, 0x20}, {300, 200}},
        {{{320, 51}, 0x1}, {320, 51}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(HRNAdSizeDescription(c.size));
        EXPECT_EQ(HRNAdSizeToCGSize(c.size), c.points);
    }
}

TEST_F(HRNAdSizeTest, StandardSizesAreFoundAndOthersAreCustom) {
    EXPECT_TRUE(HRNAdSizeIsEqual(HRNAdSizeForCGSize({320, 50}), kHRNAdSizeBanner));
    EXPECT_TRUE(HRNAdSizeIsEqual(HRNAdSizeForCGSize({-1, -1}), kHRNAdSizeInvalid));
    const HRNAdSize custom = HRNAdSizeForCGSize({320, 51});
    EXPECT_EQ(custom.flags, 0x1u);
    EXPECT_EQ(HRNAdSizeDescription(custom), "Custom HRNAdSize: {320, 51}");
    EXPECT_EQ(HRNAdSizeDescription(kHRNAdSizeBanner), "kHRNAdSizeBanner");
    EXPECT_EQ(HRNAdSizeDescription({{0, 75}, 0x3}), "Full width HRNAdSize with height: 75.000000");
    EXPECT_EQ(HRNCGSizeFromSizeString("320x50"), (Size{320, 50}));
    EXPECT_EQ(HRNCGSizeFromSizeString(""), (Size{0, 0}));
    EXPECT_EQ(HRNCGSizeFromSizeString("banner"), (Size{0, 0}));
    // Boxed sizes keep their type; a boxed value of another type is no size.
    const platform::Value boxed = HRNAdSizeToNSValue(custom);
    EXPECT_TRUE(HRNAdSizeIsEqual(HRNAdSizeFromNSValue(&boxed), custom));
    const platform::Value other(
        platform::Dictionary{{"objCType", "{CGSize=dd}"}, {"width", 320.0}});
    EXPECT_TRUE(HRNAdSizeIsEqual(HRNAdSizeFromNSValue(&other), kHRNAdSizeInvalid));
}

TEST_F(HRNAdSizeTest, ValidationNeedsASizeThatFitsTheScreen) {
    platform::Error error;
    EXPECT_FALSE(HRNAdSizeValidate(kHRNAdSizeInvalid, &error));
    EXPECT_EQ(error.localizedDescription(), "Invalid ad size.");
    EXPECT_FALSE(HRNAdSizeValidate(HRNAdSizeForCGSize({2000, 50}), &error));
    EXPECT_EQ(error.localizedDescription(),
              "Not enough space to show ad with custom size, {2000, 50}. Please use a size that "
              "fits the current screen bounds of {320, 568}.");
    EXPECT_TRUE(HRNAdSizeValidate(HRNAdSizeForCGSize({500, 300}), nullptr));  // fits turned round
    EXPECT_TRUE(HRNAdSizeValidate(kHRNAdSizeFluid, nullptr));
    // A custom size of nothing is no size, though nothing is smaller than the screen.
    EXPECT_FALSE(HRNAdSizeValidate(HRNAdSizeForCGSize({0, 0}), &error));
    EXPECT_EQ(error.localizedDescription(), "Invalid ad size.");
}

TEST_F(HRNAdSizeTest, AdTypes) {
    auto interstitial = HRNAdType::interstitialAdType();
    EXPECT_TRUE(interstitial->isEqual(*HRNAdType::interstitialAdType()));
    EXPECT_EQ(interstitial->hash(), 1u);
    EXPECT_TRUE(interstitial->isValid());
    EXPECT_FALSE(HRNAdType::rewardBasedVideoAdType()->isValid());
    auto banner = HRNAdType::bannerAdTypeForSize(kHRNAdSizeBanner);
    EXPECT_TRUE(banner->isValid());
    EXPECT_FALSE(banner->isEqual(*HRNAdType::bannerAdTypeForSize(kHRNAdSizeLeaderboard)));
    EXPECT_EQ(banner->description(), "HRNAdType banner with size: kHRNAdSizeBanner");
}

}  // namespace
