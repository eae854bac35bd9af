#include "sdk/tern/URLArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "sdk/tern/TernTestSupport_test.h"

namespace {

using platform::Array;
using platform::Value;

const std::vector<std::string> kTexts = {
    "",
    "plain",
    "a&b=c/d",
    "中",
    "分享 到 朋友圈",
    "!*'();:@&=+$,/?%#[]",
    "-._~",
    "space and\ttab\nnewline",
    "quote\"less<than>greater{}|\\^`",
    "emoji 😀 and é",
    "https://example.com/house?id=1&name=小屋#top",
    "100% sure+plus",
};

// Asks Python's urllib.parse the same question for every text; answers its results.
std::vector<std::string> python(const std::string& expression, const std::vector<std::string>& in) {
    Array texts;
    for (const auto& t : in)
        texts.emplace_back(t);
    auto path = platform::AppHome::temporary() / "texts.json";
    platform::files::writeAtomically(path, *platform::json::serialize(Value(texts)));
    std::string script =
        "import json,sys,urllib.parse as u\n"
        "texts=json.load(open(sys.argv[1]))\n"
        "print(json.dumps([" +
        expression + " for s in texts]))\n";
    auto scriptPath = platform::AppHome::temporary() / "escape.py";
    platform::files::writeAtomically(scriptPath, script);
    auto out = tern::testing::run("python3 " + scriptPath.string() + " " + path.string());
    EXPECT_TRUE(out.has_value());
    std::vector<std::string> results;
    if (!out) return results;
    auto parsed = platform::json::parse(*out);
    for (const Value& v : *parsed->array())
        results.push_back(v.asString());
    return results;
}

TEST(URLArguments, EscapingForAnArgumentMatchesPythonQuoteWithNothingSafe) {
    auto expected = python("u.quote(s, safe='')", kTexts);
    ASSERT_EQ(expected.size(), kTexts.size());
    for (size_t i = 0; i < kTexts.size(); ++i)
        EXPECT_EQ(gtm_stringByEscapingForURLArgument(kTexts[i]), expected[i]) << kTexts[i];
}

TEST(URLArguments, EscapingForAnArgumentOnlyKeepsTheURLDelimiters) {
    auto expected = python("u.quote(s, safe=\"!*'();:@&=+$,/?%#[]\")", kTexts);
    ASSERT_EQ(expected.size(), kTexts.size());
    for (size_t i = 0; i < kTexts.size(); ++i)
        EXPECT_EQ(gtm_stringByEscapingForURLArgumentOnly(kTexts[i]), expected[i]) << kTexts[i];
}

TEST(URLArguments, AmpersandEqualsSlashAndChineseAreAllEscaped) {
    EXPECT_EQ(gtm_stringByEscapingForURLArgument("&=/中"), "%26%3D%2F%E4%B8%AD");
}

TEST(URLArguments, UnescapingRoundTripsAndMatchesPythonUnquote) {
    std::vector<std::string> escaped;
    for (const auto& t : kTexts)
        escaped.push_back(gtm_stringByEscapingForURLArgument(t));
    escaped.push_back("a+b%2Bc+%E4%B8%AD");  // "+" is a blank, "%2B" a plus
    escaped.push_back("lower%e4%b8%adcase");
    auto expected = python("u.unquote(s.replace('+', ' '))", escaped);
    ASSERT_EQ(expected.size(), escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i)
        EXPECT_EQ(gtm_stringByUnescapingFromURLArgument(escaped[i]), expected[i]) << escaped[i];
    for (const auto& t : kTexts) {
        if (t.find('+') != std::string::npos) continue;  // "+" escapes back, reads as itself
        EXPECT_EQ(gtm_stringByUnescapingFromURLArgument(gtm_stringByEscapingForURLArgument(t)), t);
    }
}

TEST(URLArguments, MalformedEscapesAndBytesThatAreNoUTF8GiveNone) {
    for (const char* text : {"%", "abc%4", "%zz", "%G1", "%FF", "%C3", "%E4%B8", "%ED%A0%80"})
        EXPECT_EQ(gtm_stringByUnescapingFromURLArgument(text), std::nullopt) << text;
}

TEST(URLArguments, JsonStyleEscapesBecomePercentEscapes) {
    EXPECT_EQ(gtm_stringByEncodeByJsonAndUrlEncode("\\x41\\X42+%43"), "AB C");
    EXPECT_EQ(gtm_stringByEncodeByJsonAndUrlEncode("\\xe4\\xb8\\xad"), "中");
    EXPECT_EQ(gtm_stringByEncodeByJsonAndUrlEncode("back\\slash"), "back\\slash");
    EXPECT_EQ(gtm_stringByEncodeByJsonAndUrlEncode("\\x4"), std::nullopt);
}

}  // namespace
