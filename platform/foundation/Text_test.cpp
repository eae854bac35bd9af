#include "platform/foundation/Text.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Text, UTF8WellFormedness) {
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain ascii", true},
        {"提示 确定", true},
        {std::string("a\0b", 3), true},
        {"\xF0\x9F\x8F\xA0", true},   // U+1F3E0
        {"\xC0\xAF", false},          // overlong "/"
        {"\xE0\x80\xAF", false},      // overlong "/"
        {"\xED\xA0\x80", false},      // a surrogate
        {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
        {"\xE6\x8F", false},          // cut short
        {"\x80", false},              // a lone continuation byte
        {"\xFF", false},
        // Long ASCII runs around the multi-byte forms, both read a word at a time.
        {"1234567提示abcdefgh", true},
        {"abcdefgh\xF0\x9F\x8F\xA0"
         "abcdefghijklmnop",
         true},
        {"abcdefghijklmnop\x80", false},
        {"12345678\xE6\x8F", false},
        {"12345678abcdefg\xC0\xAF"
         "12345678",
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isValidUTF8(c.text), c.valid) << c.text;
}

TEST(Text, PercentEscapingRoundTrips) {
    EXPECT_EQ(percentEscape("a b/c?d=é~"), "a%20b%2Fc%3Fd%3D%C3%A9~");
    EXPECT_EQ(percentEscape("a b/c", "/"), "a%20b/c");
    EXPECT_EQ(percentUnescape("a%20b%2fc+d"), "a b/c+d");
    for (const std::string text : {"", "提示：确定", "100%", "&=?#[]"})
        EXPECT_EQ(percentUnescape(percentEscape(text)), text);
}

TEST(Text, MalformedEscapesAndNonUTF8ResultsAreRefused) {
    for (const char* text : {"%", "%4", "abc%G1", "%C3", "%FF", "%ED%A0%80"})
        EXPECT_EQ(percentUnescape(text), std::nullopt) << text;
}

}  // namespace
}  // namespace platform
