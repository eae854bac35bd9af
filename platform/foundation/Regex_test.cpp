#include "platform/foundation/Regex.h"

#include <gtest/gtest.h>

namespace {

using platform::Regex;

TEST(Regex, LookBehindAndGroupTemplates) {
    struct Case {
        const char* pattern;
        const char* subject;
        const char* templ;
        const char* expected;
    } cases[] = {
        {"(?<!@)((?:@@)*)@k(?<!@)((?:@@)*)@", "a@k@b", "$1X$2", "aXb"},
        {"(?<!@)((?:@@)*)@k(?<!@)((?:@@)*)@", "a@@k@@b", "$1X$2", "a@@k@@b"},
        {"(?<!@)((?:@@)*)@k(?<!@)((?:@@)*)@", "@@@k@@@", "$1X$2", "@@X@@"},
        {"o", "foo", "0", "f00"},
        {"(a)(b)?", "ac", "[$2]", "[]c"},    // an unset group inserts nothing
        {"x*", "ab", "-", "-a-b-"},          // empty matches advance
        {"é", "café é", "e", "cafe e"},      // UTF-8 characters, not bytes
        {"b", "a$b", "\\$1\\\\", "a$$1\\"},  // escaped dollar and backslash
        {"b", "ab", "$", "a$"},              // a lone dollar is itself
        {"(b)", "ab", "$12", "ab2"},         // digits after the last group are text
        {"(b)", "ab", "${1}", "a${1}"},
    };
    for (const auto& c : cases) {
        auto re = Regex::compile(c.pattern);
        ASSERT_TRUE(re) << c.pattern;
        EXPECT_EQ(re->replaceAll(c.subject, c.templ), c.expected)
            << c.pattern << " on " << c.subject;
    }
}

TEST(Regex, EscapedTextMatchesItselfOnly) {
    const std::string literals[] = {"a.b", "(x)*", "[^@]+", "$1\\E\\Q", "é+?{2}|^"};
    for (const auto& text : literals) {
        auto re = Regex::compile(Regex::escapePattern(text));
        ASSERT_TRUE(re) << text;
        EXPECT_EQ(re->replaceAll("<" + text + ">", Regex::escapeTemplate("$0\\")), "<$0\\>")
            << text;
        EXPECT_FALSE(re->matches("zzz"));
    }
    EXPECT_FALSE(Regex::compile(Regex::escapePattern("a.b"))->matches("axb"));
}

TEST(Regex, MalformedPatternReportsAnError) {
    platform::Error error;
    EXPECT_FALSE(Regex::compile("(unclosed", &error));
    EXPECT_EQ(error.domain, "platform.regex");
    EXPECT_EQ(error.code, 1);
    EXPECT_NE(error.localizedDescription().find("offset"), std::string::npos);
}

TEST(Regex, InvalidUtf8SubjectIsSearchedNotRefused) {
    auto re = Regex::compile("b");
    ASSERT_TRUE(re);
    EXPECT_EQ(re->replaceAll("a\xff"
                             "b",
                             "c"),
              "a\xff"
              "c");
}

}  // namespace
