#include "ads/foundation/HRNSettings.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ads/formats/HRNMobileAds.h"
#include "platform/foundation/UserDefaults.h"

namespace {

TEST(HRNSettingsTest, ValuesReadAsFlags) {
    const struct {
        platform::Value value;
        bool flag;
    } cases[] = {
        {"YES", true}, {"true", true}, {"1", true}, {" +01", true}, {"9", true},
        {"NO", false}, {"0", false},   {"", false}, {"-0", false},  {"false", false},
        {1, true},     {0, false},     {0.5, true}, {true, true},   {false, false},
    };
    for (const auto& c : cases) {
        platform::UserDefaults::standard().set(HRNSettingKey("flag"), c.value);
        EXPECT_EQ(HRNSettingBoolValue("flag"), c.flag) << HRNSettingKey("flag");
    }
    platform::UserDefaults::standard().remove(HRNSettingKey("flag"));
    EXPECT_FALSE(HRNSettingBoolValue("flag"));
    EXPECT_EQ(HRNSettingKey("volume_view"), "/heron/ads/volume_view");
}

TEST(HRNMobileAdsTest, VolumeIsClampedIntoTheUnitRange) {
    const struct {
        float set, clamped;
    } cases[] = {{0.25f, 0.25f}, {1.0f, 1.0f}, {1.5f, 1.0f}, {-0.5f, 0.0f}, {0.0f, 0.0f}};
    auto ads = HRNMobileAds::sharedInstance();
    EXPECT_EQ(ads->clampedApplicationVolume(), 1.0f);
    for (const auto& c : cases) {
        ads->setApplicationVolume(c.set);
        EXPECT_EQ(ads->clampedApplicationVolume(), c.clamped) << c.set;
    }
    ads->setApplicationVolume(std::nanf(""));
    EXPECT_EQ(ads->clampedApplicationVolume(), 0.0f);
}

}  // namespace
