#include "ads/rendering/views/HRNOrientation.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(HRNOrientationTest, MasksGiveTheirCodes) {
    const struct {
        uint64_t mask;
        std::optional<std::string> code;
    } cases[] = {
        {30, "any"},       {26, "any"},       {4 | 8, "any"},    {24, "l"},
        {8, "l"},          {16, "l"},         {2, "p"},          {6, "p"},
        {4, std::nullopt}, {0, std::nullopt}, {1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HRNOrientationCodeFromMask(c.mask), c.code) << c.mask;
}

TEST(HRNOrientationTest, OrientationTextsGiveTheirMasks) {
    const std::vector<std::pair<std::string, uint64_t>> cases = {
        {"any", 30}, {"portrait", 6}, {"landscape", 24}, {"", 0}, {"Any", 0}, {"l", 0},
    };
    for (const auto& [text, mask] : cases)
        EXPECT_EQ(HRNInterfaceOrientationMaskFromString(text), mask) << text;
}

}  // namespace

namespace {

TEST(HRNOrientationTest, OrientationsMasksAndAxes) {
    EXPECT_EQ(HRNInterfaceOrientationMaskFromOrientation(1), 2u);
    EXPECT_EQ(HRNInterfaceOrientationMaskFromOrientation(4), 16u);
    EXPECT_EQ(HRNInterfaceOrientationMaskFromOrientation(33), 2u);  // the low five bits
    EXPECT_TRUE(HRNOrientationMaskContainsOrientation(24, 3));
    EXPECT_FALSE(HRNOrientationMaskContainsOrientation(6, 3));
    EXPECT_TRUE(HRNOrientationMaskSupportsBothAxes(4 | 16));
    EXPECT_FALSE(HRNOrientationMaskSupportsBothAxes(6));
    EXPECT_EQ(HRNOrientationCodeFromInterfaceOrientation(2), "p");
    EXPECT_EQ(HRNOrientationCodeFromInterfaceOrientation(4), "l");
    EXPECT_EQ(HRNOrientationCodeFromInterfaceOrientation(0), std::nullopt);
    EXPECT_FALSE(HRNViewControllerOnlySupportsApplicationOrientation());
}

}  // namespace
