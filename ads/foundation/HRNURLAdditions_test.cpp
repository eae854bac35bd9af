#include "ads/foundation/HRNURLAdditions.h"

#include <gtest/gtest.h>

namespace {

using platform::Dictionary;
using platform::Value;
using platform::net::URL;

URL url(const std::string& text) {
    auto u = URL::parse(text);
    EXPECT_TRUE(u) << text;
    return u.value_or(*URL::parse("http://invalid/"));
}

TEST(HRNURLAdditions, EscapingMatchesPythonQuoteWithNothingSafe) {
    // Expected texts from Python: urllib.parse.quote(s, safe='').
    struct Case {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"a b", "a%20b"},
        {"!*'();:@&=+$,/?%#[]", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D"},
        {"-._~AZaz09", "-._~AZaz09"},
        {"房子 é", "%E6%88%BF%E5%AD%90%20%C3%A9"},
        {"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hrn_stringByEscapingAsURLParameter(c.text), c.escaped) << c.text;
}

TEST(HRNURLAdditions, AppendingQueryParameters) {
    struct Case {
        const char* url;
        Dictionary parameters;
        const char* expected;
    } cases[] = {
        {"http://h/p", {{"unique", 123}}, "http://h/p?unique=123"},
        {"http://h/p?a=1", {{"unique", 123}}, "http://h/p?a=1&unique=123"},
        // New parameters go before the ad's landing URL, which stays last.
        {"http://h/p?a=1&adurl=http%3A%2F%2Fx%2F%3Fq%3D1",
         {{"unique", 123}},
         "http://h/p?a=1&unique=123&adurl=http%3A%2F%2Fx%2F%3Fq%3D1"},
        {"http://h/p?adurl=x", {{"u", 1}}, "http://h/p?adurl=x&u=1"},  // "?adurl=" is not moved
        // Dictionary order; values escaped, keys as given; an empty value leaves the key alone.
        {"http://h/",
         {{"b", "x y"}, {"a", 1.5}, {"e", ""}, {"f", true}},
         "http://h/?a=1.5&b=x%20y&e&f=1"},
        {"http://h/p?", {{"k", "v"}}, "http://h/p??k=v"},  // an empty query counts as none
    };
    for (const auto& c : cases) {
        auto result = hrn_URLByAppendingQueryParameters(url(c.url), c.parameters);
        ASSERT_TRUE(result) << c.url;
        EXPECT_EQ(result->absoluteString(), c.expected) << c.url;
    }
    EXPECT_FALSE(hrn_URLByAppendingQueryParameters(url("http://h/"), {{"a b", "1"}}));
}

TEST(HRNURLAdditions, ParameterValuesForKey) {
    URL u = url("http://h/p?a=1&b=x%20y&a=2&A=3&c&d=1=2&a=%E6%88%BF&a=%FF#a=9");
    auto values = hrn_parameterValuesForKey(u, "a");
    ASSERT_TRUE(values);
    // Escapes of bytes that are not UTF-8 are skipped, not fatal.
    EXPECT_EQ(*values, (std::vector<std::string>{"1", "2", "房"}));
    EXPECT_EQ(hrn_parameterValueForKey(u, "b"), "x y");
    EXPECT_EQ(hrn_parameterValueForKey(u, "A"), "3");
    EXPECT_FALSE(hrn_parameterValuesForKey(u, "c"));  // no "="
    EXPECT_FALSE(hrn_parameterValuesForKey(u, "d"));  // two "="
    EXPECT_FALSE(hrn_parameterValuesForKey(u, std::nullopt));
    EXPECT_FALSE(hrn_parameterValuesForKey(url("http://h/p"), "a"));
    EXPECT_FALSE(hrn_parameterValuesForKey(url("http://h/p?b%3D=1"), "b="));  // keys not unescaped
}

TEST(HRNURLAdditions, QueryDictionary) {
    URL u = url("http://h/p?Key=1;b=x%20y&KEY=2&bad&c%3Dd=e&x=%FF");
    auto asIs = hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(u, false);
    EXPECT_EQ(asIs, (Dictionary{{"Key", "1"}, {"b", "x y"}, {"KEY", "2"}, {"c=d", "e"}}));
    auto lower = hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(u, true);
    EXPECT_EQ(lower, (Dictionary{{"key", "2"}, {"b", "x y"}, {"c=d", "e"}}));
    EXPECT_TRUE(
        hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(url("hmsg:x"), true).empty());
}

TEST(HRNURLAdditions, ImpressionTicketAndParts) {
    EXPECT_EQ(hrn_impressionTicket(url("http://h/a/b/c")), "b/c");
    EXPECT_EQ(hrn_impressionTicket(url("http://h/a/b/c/d?x=1")), "b/c");
    EXPECT_FALSE(hrn_impressionTicket(url("http://h/a/b")));
    EXPECT_FALSE(hrn_impressionTicket(url("http://h/")));

    EXPECT_EQ(hrn_absoluteStringWithoutFragmentComponent(url("http://h/p?q#frag")), "http://h/p?q");
    EXPECT_EQ(hrn_absoluteStringWithoutFragmentComponent(url("http://h/p#")), "http://h/p");

    URL u = url("HTTP://Example.COM/p");
    EXPECT_TRUE(hrn_isHostEqualToString(u, "example.com", false));
    EXPECT_FALSE(hrn_isHostEqualToString(u, "example.com", true));
    EXPECT_TRUE(hrn_isHostEqualToString(u, "Example.COM", true));
    EXPECT_TRUE(hrn_isSchemeEqualToString(u, "Http", false));
    EXPECT_FALSE(hrn_isSchemeEqualToString(u, "Http", true));
}

TEST(HRNURLAdditions, TrailingSlash) {
    EXPECT_EQ(hrn_stripTrailingSlash("http://h/p/"), "http://h/p");
    EXPECT_EQ(hrn_stripTrailingSlash("http://h/p//"), "http://h/p/");
    EXPECT_EQ(hrn_stripTrailingSlash(""), "");
    EXPECT_TRUE(hrn_isEquivalentToURLString("http://h/p/", "http://h/p"));
    EXPECT_TRUE(hrn_isEquivalentToURLString("http://h/p", "http://h/p"));
    EXPECT_FALSE(hrn_isEquivalentToURLString("http://h/p//", "http://h/p"));
    EXPECT_FALSE(hrn_isEquivalentToURLString("http://h/P", "http://h/p"));
}

}  // namespace
