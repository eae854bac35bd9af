#include "sdk/tern/TernOpenURL.h"

#include <gtest/gtest.h>

namespace {

using Params = std::map<std::string, std::string>;

TEST(TernOpenURL, QueryParameters) {
    struct Case {
        const char* url;
        Params params;
    } cases[] = {
        {"tn1://oauth?code=abc&state=s1", {{"code", "abc"}, {"state", "s1"}}},
        {"tn1://oauth", {}},
        {"tn1://oauth?", {}},
        {"tn1://oauth?flag&code=1&&x=", {{"code", "1"}, {"x", ""}}},  // no "=": skipped
        {"tn1://oauth?a=1&a=2", {{"a", "2"}}},
        {"tn1://oauth?a=b=c", {{"a", "b"}}},
        {"tn1://oauth?a=%E4%B8%AD+x", {{"a", "%E4%B8%AD+x"}}},  // as it stands
        {"tn1://oauth?a=1#frag", {{"a", "1"}}},
        {"tn1://oauth?=v", {{"", "v"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tern::parseURLParams(c.url), c.params) << c.url;
}

TEST(TernOpenURL, AuthorisationReturns) {
    auto granted = tern::authRespFromOpenUrl(
        "tn1://oauth?code=c0de&state=s&lang=zh_CN&country=CN&reason=ok", "tn1");
    ASSERT_TRUE(granted);
    EXPECT_EQ(granted->errCode, 0);
    EXPECT_EQ(granted->code, "c0de");
    EXPECT_EQ(granted->state, "s");
    EXPECT_EQ(granted->lang, "zh_CN");
    EXPECT_EQ(granted->country, "CN");
    EXPECT_EQ(granted->errStr, "ok");

    auto denied = tern::authRespFromOpenUrl("tn1://oauth?code=authdeny", "tn1");
    ASSERT_TRUE(denied);
    EXPECT_EQ(denied->errCode, -4);
    EXPECT_EQ(denied->code, std::nullopt);

    auto bare = tern::authRespFromOpenUrl("tn1://oauth", "tn1");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->errCode, -1);
    EXPECT_EQ(bare->code, std::nullopt);
    EXPECT_EQ(bare->state, std::nullopt);

    EXPECT_EQ(tern::authRespFromOpenUrl("tn1://pay/?ret=0", "tn1"), nullptr);
    EXPECT_EQ(tern::authRespFromOpenUrl("tn2://oauth?code=1", "tn1"), nullptr);
    EXPECT_EQ(tern::authRespFromOpenUrl("tn1://oauth?code=1", std::nullopt), nullptr);
}

TEST(TernOpenURL, PaymentReturns) {
    auto paid = tern::payRespFromOpenUrl("tn1://pay/?returnKey=k&ret=-2&notifyStr=n", "tn1");
    ASSERT_TRUE(paid);
    EXPECT_EQ(paid->errCode, -2);
    EXPECT_EQ(paid->returnKey, "k");
    EXPECT_EQ(paid->errStr, "n");

    auto noRet = tern::payRespFromOpenUrl("tn1://pay/x", "tn1");
    ASSERT_TRUE(noRet);
    EXPECT_EQ(noRet->errCode, 0);
    EXPECT_EQ(noRet->returnKey, std::nullopt);

    EXPECT_EQ(tern::payRespFromOpenUrl("tn1://pay/", "tn1"), nullptr);  // exactly the prefix
    EXPECT_EQ(tern::payRespFromOpenUrl("tn1://pay", "tn1"), nullptr);
    EXPECT_EQ(tern::payRespFromOpenUrl("tn1://oauth?code=1", "tn1"), nullptr);
}

}  // namespace
