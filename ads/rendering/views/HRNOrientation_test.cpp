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
