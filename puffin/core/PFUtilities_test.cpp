#include "puffin/core/PFUtilities.h"

#include <gtest/gtest.h>

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

TEST(PFUtilities, MergeIsRecursiveForDictionariesAndReplacesEverythingElse) {
    const Value defaults =
        Dictionary{{"a", 1},
                   {"list", Array{1, 2}},
                   {"nested", Dictionary{{"x", 1}, {"deep", Dictionary{{"p", 1}, {"q", 2}}}}}};
    const Value precedence =
        Dictionary{{"b", 2},
                   {"list", Array{3}},
                   {"nested", Dictionary{{"y", 2}, {"deep", Dictionary{{"q", 9}}}}}};
    const Dictionary expected{
        {"a", 1},
        {"b", 2},
        {"list", Array{3}},
        {"nested", Dictionary{{"x", 1}, {"y", 2}, {"deep", Dictionary{{"p", 1}, {"q", 9}}}}}};
    EXPECT_EQ(PFUtilities::mergedDictionaryFromDictionaryWithPrecedence(precedence, defaults),
              expected);
    EXPECT_EQ(PFUtilities::mergedDictionaryFromDictionaryWithPrecedence(std::nullopt, defaults),
              *defaults.dictionary());
    EXPECT_EQ(PFUtilities::mergedDictionaryFromDictionaryWithPrecedence(precedence, Value("x")),
              *precedence.dictionary());
    EXPECT_EQ(PFUtilities::mergedDictionaryFromDictionaryWithPrecedence(std::nullopt, std::nullopt),
              Dictionary{});
}

TEST(PFUtilities, Base64FollowsRFC4648) {
    // RFC 4648 test vectors.
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xff\xfe", "//4="},
    };
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(PFUtilities::base64Encode(text), encoded);
    EXPECT_EQ(PFUtilities::base64Encode(std::nullopt), std::nullopt);
}

TEST(PFUtilities, VersionComparisonAndNameTables) {
    EXPECT_LT(PFCompareVersions("5.1", "5.1.1"), 0);
    EXPECT_LT(PFCompareVersions("5.9", "5.10"), 0);
    EXPECT_EQ(PFCompareVersions("6.0", "6.0"), 0);
    EXPECT_GT(PFCompareVersions("8.4", "5.1.1"), 0);
    EXPECT_EQ(PFMediationNameForMediation().at(7), "Heron");
    EXPECT_EQ(PFMediationNameForMediation().size(), 8u);
    EXPECT_EQ(PFFrameworkNameForFramework().at(6), "Cocos2dx");
    EXPECT_EQ(PFFrameworkNameForFramework().at(9), "Other");
}

}  // namespace
