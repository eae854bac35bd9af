#include "peers/gift/GiftConfig.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

namespace peers {
namespace {

TEST(GiftConfigJSON, ValuesBecomeTheTextsOnTheWire) {
    struct Case {
        const char* json;
        const char* field;
        const char* expected;
    };
    const Case cases[] = {
        {R"({"adsAllowed": true})", "adsAllowed", "1"},
        {R"({"adsAllowed": false})", "adsAllowed", "0"},
        {R"({"adsAllowed": " 1"})", "adsAllowed", " 1"},  // text goes out as it is
        {R"({"adsAllowed": "01"})", "adsAllowed", "01"},
        {R"({"videoAdGift": 10000})", "videoAdGift", "10000"},
        {R"({"videoAdGift": 3.0})", "videoAdGift", "3"},
        {R"({"adClickGift3": -5})", "adClickGift3", "-5"},
        {R"({"castTitle": "公告"})", "castTitle", "公告"},
        {R"({"castLink": ""})", "castLink", ""},
        {R"({"dailyGifts": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]})", "dailyGifts",
         "1,2,3,4,5,6,7,8,9,10"},
        {R"({"dailyGifts": [1, 2, 3, 4, 5, 6, 7, 8, 9]})", "dailyGifts", "1,2,3,4,5,6,7,8,9"},
        {R"({"dailyGifts": ["a", 2, true]})", "dailyGifts", "a,2,1"},
        {R"({"dailyGifts": "1,1,1"})", "dailyGifts", "1,1,1"},
        {R"({"dailyGifts": []})", "dailyGifts", ""},
    };
    for (const Case& c : cases) {
        platform::Error error;
        auto config = GiftConfig::fromJSON(c.json, &error);
        ASSERT_TRUE(config) << c.json << ": " << error.localizedDescription();
        EXPECT_EQ(*config->field(c.field), c.expected) << c.json;
    }
}

TEST(GiftConfigJSON, MistakesAreRefusedWithAMessage) {
    struct Case {
        const char* json;
        const char* message;  // part of the error description
    };
    const Case cases[] = {
        {R"({"castTitel": "x"})", "unknown key \"castTitel\""},
        {R"({"videoAdGift": 1.5})", "videoAdGift"},
        {R"({"castTitle": {"a": 1}})", "castTitle"},
        {R"({"dailyGifts": [[1]]})", "dailyGifts"},
        {R"({"castTitle": null})", "castTitle"},
        {R"({"now": "today"})", "now"},
        {R"({"nowOffsetDays": 0.5})", "nowOffsetDays"},
        {R"({"behaviour": {"mode": "shout"}})", "behaviour.mode"},
        {R"({"behaviour": {"junkBytes": -1}})", "behaviour.junkBytes"},
        {R"({"behaviour": {"delaySeconds": "1"}})", "behaviour.delaySeconds"},
        {R"({"behaviour": {"fields": 20}})", "behaviour: unknown key"},
        {R"({"behaviour": "silent"})", "behaviour"},
        {R"([1, 2])", "object"},
    };
    for (const Case& c : cases) {
        platform::Error error;
        EXPECT_FALSE(GiftConfig::fromJSON(c.json, &error)) << c.json;
        EXPECT_NE(error.localizedDescription().find(c.message), std::string::npos)
            << c.json << ": " << error.localizedDescription();
    }
    platform::Error error;
    EXPECT_FALSE(GiftConfig::fromJSON("{\"castTitle\": ", &error));
    EXPECT_FALSE(GiftConfig::readFile("/nonexistent/gift.json", &error));
    EXPECT_NE(error.localizedDescription().find("/nonexistent/gift.json"), std::string::npos);
}

TEST(GiftConfigJSON, TimeAndBehaviour) {
    auto config = GiftConfig::fromJSON(R"({
        "now": 1600000000, "nowOffsetDays": -2,
        "behaviour": {"mode": "firstFields", "fieldCount": 20, "junkBytes": 5,
                      "delaySeconds": 1.5}})");
    ASSERT_TRUE(config);
    EXPECT_EQ(config->now, 1600000000);
    EXPECT_EQ(config->serverTime(1.0), 1600000000 - 2 * 86400);
    EXPECT_EQ(config->behaviour.mode, GiftMode::FirstFields);
    EXPECT_EQ(config->behaviour.fieldCount, 20u);
    EXPECT_EQ(config->behaviour.junkBytes, 5u);
    EXPECT_EQ(config->behaviour.delaySeconds, 1.5);

    const std::pair<const char*, GiftMode> modes[] = {
        {"reply", GiftMode::Reply},
        {"silent", GiftMode::Silent},
        {"junk", GiftMode::Junk},
        {"closeAtOnce", GiftMode::CloseAtOnce},
        {"firstFields", GiftMode::FirstFields},
        {"invalidUtf8", GiftMode::InvalidUtf8},
    };
    for (const auto& [name, mode] : modes) {
        auto c = GiftConfig::fromJSON(std::string(R"({"behaviour": {"mode": ")") + name + "\"}}");
        ASSERT_TRUE(c) << name;
        EXPECT_EQ(c->behaviour.mode, mode) << name;
    }

    // Left out: the current time, every other field empty, a normal reply.
    auto empty = GiftConfig::fromJSON("{}");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->now);
    EXPECT_EQ(empty->serverTime(1700000000.9), 1700000000);
    EXPECT_EQ(empty->behaviour.mode, GiftMode::Reply);
    EXPECT_EQ(empty->behaviour.delaySeconds, 0);
    auto fields = empty->replyFields(1700000000.9);
    ASSERT_EQ(fields.size(), 32u);
    for (size_t i = 1; i < fields.size(); ++i)
        EXPECT_EQ(fields[i], "") << i;
}

TEST(GiftConfigJSON, TheExampleFileNamesEveryField) {
    platform::Error error;
    auto config = GiftConfig::readFile(QEN_GIFT_EXAMPLE_CONFIG, &error);
    ASSERT_TRUE(config) << error.localizedDescription();
    auto json = platform::json::parse(*platform::files::readText(QEN_GIFT_EXAMPLE_CONFIG));
    ASSERT_TRUE(json);
    for (size_t i = 1; i < kGiftReplyFieldNames.size(); ++i) {
        EXPECT_TRUE(json->find(kGiftReplyFieldNames[i])) << kGiftReplyFieldNames[i];
    }
    EXPECT_EQ(config->dailyGifts, "1,2,3,4,5,6,7,8,9,10");
}

}  // namespace
}  // namespace peers
