#include "ads/mediation/HRNAdReward.h"

#include <gtest/gtest.h>

using platform::Dictionary;
using platform::Value;

TEST(HRNAdReward, KeepsTypeAndAmountAndNeedsBoth) {
    auto reward = HRNAdReward::createWithRewardType("coins", 2.5);
    ASSERT_TRUE(reward);
    EXPECT_EQ(reward->type(), "coins");
    EXPECT_EQ(reward->amount(), 2.5);

    auto empty = HRNAdReward::createWithRewardType("", 10.0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->type(), "");

    EXPECT_FALSE(HRNAdReward::createWithRewardType(std::nullopt, 10.0));
    EXPECT_FALSE(HRNAdReward::createWithRewardType("coins", std::nullopt));
}

TEST(HRNAdReward, FromARewardDictionary) {
    struct Case {
        const char* name;
        Value dictionary;
        bool valid;
        double amount;
    };
    const Case cases[] = {
        {"number amount", Dictionary{{"rb_type", "coins"}, {"rb_amount", 10}}, true, 10},
        {"real amount", Dictionary{{"rb_type", "coins"}, {"rb_amount", 0.5}}, true, 0.5},
        {"empty type", Dictionary{{"rb_type", ""}, {"rb_amount", 3}}, true, 3},
        {"amount as text", Dictionary{{"rb_type", "coins"}, {"rb_amount", "10"}}, false, 0},
        {"no type", Dictionary{{"rb_amount", 10}}, false, 0},
        {"type not text", Dictionary{{"rb_type", 7}, {"rb_amount", 10}}, false, 0},
        {"no amount", Dictionary{{"rb_type", "coins"}}, false, 0},
        {"not a dictionary", Value(platform::Array{}), false, 0},
        {"null", Value(), false, 0},
    };
    for (const Case& c : cases) {
        auto reward = HRNAdReward::createWithRewardDictionary(&c.dictionary);
        EXPECT_EQ(bool(reward), c.valid) << c.name;
        if (reward && c.valid) {
            EXPECT_EQ(reward->amount(), c.amount) << c.name;
            EXPECT_EQ(reward->type(), c.dictionary.find("rb_type")->asString()) << c.name;
        }
    }
    EXPECT_FALSE(HRNAdReward::createWithRewardDictionary(nullptr));
}
