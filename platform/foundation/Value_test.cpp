#include "platform/foundation/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/foundation/Error.h"

namespace platform {
namespace {

TEST(Value, ScalarReadsConvertNumbersOnly) {
    struct Case {
        const char* what;
        Value value;
        bool asBool;
        int64_t asInteger;
        double asReal;
        std::string asString;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"null", Value(), false, -7, -7.5, "fallback"},
        {"true", Value(true), true, 1, 1.0, "fallback"},
        {"false", Value(false), false, 0, 0.0, "fallback"},
        {"integer", Value(int64_t{-42}), true, -42, -42.0, "fallback"},
        {"zero", Value(0), false, 0, 0.0, "fallback"},
        {"real truncates toward zero", Value(-2.9), true, -2, -2.9, "fallback"},
        {"real above the range clamps", Value(1e30), true, std::numeric_limits<int64_t>::max(),
         1e30, "fallback"},
        {"real below the range clamps", Value(-1e30), true, std::numeric_limits<int64_t>::min(),
         -1e30, "fallback"},
        {"NaN reads the fallback", Value(nan), true, -7, 0, "fallback"},
        {"numeric text does not convert", Value("12"), false, -7, -7.5, "12"},
        {"data", Value(Data::fromString("ab")), false, -7, -7.5, "fallback"},
        {"array", Value(Array{Value(1)}), false, -7, -7.5, "fallback"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.value.asBool(false), c.asBool);
        EXPECT_EQ(c.value.asInteger(-7), c.asInteger);
        if (c.value.isReal() && std::isnan(c.value.asReal())) {
            EXPECT_TRUE(std::isnan(c.value.asReal(-7.5)));
        } else {
            EXPECT_EQ(c.value.asReal(-7.5), c.asReal);
        }
        EXPECT_EQ(c.value.asString("fallback"), c.asString);
    }
}

TEST(Value, PointerReadsAnswerNullForOtherTypes) {
    Value text("hello");
    ASSERT_NE(text.string(), nullptr);
    EXPECT_EQ(*text.string(), "hello");
    EXPECT_EQ(text.data(), nullptr);
    EXPECT_EQ(text.array(), nullptr);
    EXPECT_EQ(text.dictionary(), nullptr);
    EXPECT_FALSE(text.asDate());
    EXPECT_EQ(text.size(), 0u);

    Value date(Date{1.5});
    ASSERT_TRUE(date.asDate());
    EXPECT_EQ(date.asDate()->secondsSince1970, 1.5);
    EXPECT_EQ(date.string(), nullptr);
}

TEST(Value, DictionaryMembers) {
    Value v;
    v["b"] = 2;
    v["a"]["nested"] = "x";
    EXPECT_TRUE(v.isDictionary());
    EXPECT_EQ(v.size(), 2u);
    ASSERT_NE(v.find("a"), nullptr);
    EXPECT_EQ(v.find("a")->find("nested")->asString(), "x");
    EXPECT_EQ(v.find("missing"), nullptr);
    EXPECT_EQ(Value(3).find("a"), nullptr);
    // Keys are ordered, whatever the insertion order.
    EXPECT_EQ(v.dictionary()->begin()->first, "a");
}

TEST(Value, EqualityIsDeepAndTyped) {
    Value a(Dictionary{{"k", Value(Array{Value(1), Value("x")})}});
    Value b = a;
    EXPECT_EQ(a, b);
    (*b["k"].array())[0] = Value(1.0);
    EXPECT_NE(a, b);  // integer 1 and real 1.0 differ
    EXPECT_NE(Value(true), Value(1));
    EXPECT_NE(Value(), Value(0));
}

TEST(Error, LocalizedDescriptionReadsTheUserInfoKey) {
    Error e = Error::withDescription("test.domain", 7, "Something failed");
    EXPECT_EQ(e.localizedDescription(), "Something failed");
    ASSERT_NE(e.userInfo.find("NSLocalizedDescription"), e.userInfo.end());

    Error bare("test.domain", 42);
    EXPECT_NE(bare.localizedDescription().find("test.domain"), std::string::npos);
    EXPECT_NE(bare.localizedDescription().find("42"), std::string::npos);

    Error* none = nullptr;
    setError(none, e);  // no crash
    Error out;
    setError(&out, e);
    EXPECT_EQ(out, e);
}

}  // namespace
}  // namespace platform
