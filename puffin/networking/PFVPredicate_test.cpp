#include "puffin/networking/PFVPredicate.h"

#include <gtest/gtest.h>

#include "platform/foundation/PropertyList.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Error;
using platform::Value;

const Value* kAbsent = nullptr;

// The "error" message at the top of a failure.
std::string message(const Error& error) {
    return error.userInfo.at("error").asString();
}

TEST(PFVPredicate, StatusCodeBounds) {
    struct Case {
        Value value;
        bool passes;
    } cases[] = {
        {200, true},    {299, true},      {250.5, true}, {300, false},  {199, false},
        {"200", false}, {Value(), false}, {true, false}, {1e20, false},
    };
    for (const Case& c : cases) {
        Error error;
        EXPECT_EQ(matchesPFVPredicate(&c.value, PFVStatusCode(), &error), c.passes)
            << platform::json::serialize(c.value).value_or("?");
        if (!c.passes) {
            EXPECT_EQ(message(error), "union predicate failed");
        }
    }
    Error error;
    EXPECT_FALSE(matchesPFVPredicate(kAbsent, PFVStatusCode(), &error));
    EXPECT_EQ(error.domain, "PFVPredicateError");
    EXPECT_EQ(error.code, 1);
    const Value three = 300;
    matchesPFVPredicate(&three, PFVStatusCode(), &error);
    EXPECT_EQ(error.userInfo.at("failure").find("error")->asString(),
              "must be a valid status code (>=200 && <300)");
}

TEST(PFVPredicate, OptionalAcceptsAbsentButNotJSONNull) {
    auto optionalString = PFVOptional(PFVString());
    const Value x = "x", null, five = 5;
    EXPECT_TRUE(matchesPFVPredicate(kAbsent, optionalString, nullptr));
    EXPECT_TRUE(matchesPFVPredicate(&x, optionalString, nullptr));
    EXPECT_FALSE(matchesPFVPredicate(&null, optionalString, nullptr));
    Error error;
    EXPECT_FALSE(matchesPFVPredicate(&five, optionalString, &error));
    EXPECT_EQ(message(error), "option predicate failed");
    const Array& failures = *error.userInfo.at("failures").array();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].find("error")->asString(), "must be null");
    EXPECT_EQ(failures[1].find("error")->asString(), "expecting instance of class string");
    // Only PFVEqual of null accepts a JSON null; PFVOptional of nothing is PFVNull.
    EXPECT_TRUE(matchesPFVPredicate(&null, PFVEqual(Value()), nullptr));
    EXPECT_EQ(PFVOptional(nullptr), PFVNull());
}

TEST(PFVPredicate, DictionaryVisitsEveryKeyAndAllowsExtraKeys) {
    PFVMask mask{{"a", PFVString()}, {"b", PFVNumber()}};
    Error error;
    EXPECT_TRUE(
        matchesMask(Value(Dictionary{{"a", "x"}, {"b", 1}, {"c", 1}}), mask, false, &error));

    EXPECT_FALSE(matchesMask(Value(Dictionary{{"b", "no"}}), mask, true, &error));
    EXPECT_EQ(message(error), "dictionary children invalid");
    const Dictionary& failures = *error.userInfo.at("failures").dictionary();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures.at("a").find("key")->asString(), "a");
    EXPECT_EQ(failures.at("a").find("error")->find("error")->asString(),
              "expecting instance of class string");
    EXPECT_TRUE(failures.contains("b"));

    const Value array = Array{1};
    EXPECT_FALSE(matchesPredicate(array, PFVDictionary(mask), &error));
    EXPECT_EQ(message(error), "expecting dictionary");
    EXPECT_FALSE(matchesPFVPredicate(kAbsent, PFVDictionary(mask), &error));
    EXPECT_EQ(message(error), "nil dictionary");
}

TEST(PFVPredicate, ArrayReportsOnlyBadElementsByIndex) {
    Error error;
    const Value items = Array{1, "x", 3};
    EXPECT_FALSE(matchesPFVPredicate(&items, PFVArray(PFVNumber()), &error));
    EXPECT_EQ(message(error), "array children invalid");
    const Dictionary& failures = *error.userInfo.at("failures").dictionary();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(*failures.at("1").find("child"), Value("x"));
    const Value empty = Array{};
    EXPECT_TRUE(matchesPFVPredicate(&empty, PFVArray(PFVNumber()), nullptr));
    const Value text = "x";
    EXPECT_FALSE(matchesPFVPredicate(&text, PFVArray(PFVNumber()), &error));
    EXPECT_EQ(message(error), "expecting array");
}

TEST(PFVPredicate, SetsUnionsAndEquality) {
    Error error;
    auto positions = PFVInSet(Array{"inside-top", "outside-bottom"});
    const Value top = "inside-top", other = "middle";
    EXPECT_TRUE(matchesPFVPredicate(&top, positions, &error));
    EXPECT_FALSE(matchesPFVPredicate(kAbsent, positions, &error));
    EXPECT_EQ(message(error), "must be in set of values provided");
    EXPECT_EQ(error.userInfo.at("object"), Value("null"));
    EXPECT_FALSE(matchesPFVPredicate(&other, positions, &error));
    EXPECT_EQ(error.userInfo.at("object"), Value("middle"));

    EXPECT_TRUE(matchesPFVPredicate(kAbsent, PFVUnion({}), nullptr));
    const Value seven = 7;
    EXPECT_FALSE(matchesPFVPredicate(&seven, PFVEqual(8), &error));
    EXPECT_EQ(message(error), "must be equal: 7 != 8");
    // No error is made when none is asked for.
    EXPECT_FALSE(matchesPFVPredicate(&seven, PFVString(), nullptr));
    EXPECT_TRUE(matchesPFVPredicate(&seven, PFVInstanceOf(PFVClass::Object), nullptr));
    EXPECT_FALSE(matchesPFVPredicate(kAbsent, PFVInstanceOf(PFVClass::Object), nullptr));
}

}  // namespace
