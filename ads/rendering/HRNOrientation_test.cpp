#include "ads/rendering/HRNOrientation.h"

#include <gtest/gtest.h>

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

}  // namespace
