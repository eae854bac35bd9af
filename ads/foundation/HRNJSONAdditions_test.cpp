#include "ads/foundation/HRNJSONAdditions.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ads/foundation/HRNErrorAdditions.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

TEST(HRNJSONAdditions, DecodesWhatPythonDecodes) {
    // Each text decodes with Python's json.loads to the value beside it.
    struct Case {
        const char* text;
        Value value;
    } cases[] = {
        {"\"a\"", "a"},
        {"3", 3},
        {"-2.5e1", -25.0},
        {"[1,{\"b\":null}]", Array{1, Dictionary{{"b", nullptr}}}},
        {"{\"k\":\"\\u623f\",\"t\":true}", Dictionary{{"k", "房"}, {"t", true}}},
    };
    for (const auto& c : cases) {
        platform::Error error;
        auto value = hrn_decodedJSONObjectError(c.text, &error);
        ASSERT_TRUE(value) << c.text;
        EXPECT_EQ(*value, c.value) << c.text;
    }
    for (const char* bad : {"", "{", "[1,]", "{'a':1}", "nul"}) {
        platform::Error error;
        EXPECT_FALSE(hrn_decodedJSONObjectError(bad, &error)) << bad;
        EXPECT_FALSE(error.domain.empty()) << bad;
    }
}

TEST(HRNJSONAdditions, WritesCompactAndPretty) {
    Dictionary d{{"a", Array{1, 2.5, true, nullptr}}, {"b", "é\""}};
    // Python: json.dumps(d, separators=(',', ':'), ensure_ascii=False)
    EXPECT_EQ(hrn_JSONStringPretty(d, false, nullptr), "{\"a\":[1,2.5,true,null],\"b\":\"é\\\"\"}");
    auto pretty = hrn_JSONStringPretty(d, true, nullptr);
    ASSERT_TRUE(pretty);
    EXPECT_NE(pretty->find('\n'), std::string::npos);
    EXPECT_EQ(hrn_decodedJSONObjectError(*pretty, nullptr), Value(d));
}

TEST(HRNJSONAdditions, UnwritableDictionaryIsInternalError2) {
    for (Value bad : {Value(platform::Data::fromString("x")), Value(platform::Date{5}), Value(NAN),
                      Value("\xff")}) {
        platform::Error error;
        EXPECT_FALSE(hrn_JSONStringPretty({{"k", bad}}, false, &error));
        EXPECT_EQ(error.domain, kHRNInternalErrorDomain);
        EXPECT_EQ(error.code, 2);
        EXPECT_EQ(error.localizedDescription(), "Invalid JSON object.");
    }
}

TEST(HRNJSONAdditions, JSONSafeDictionary) {
    Dictionary safe{{"n", 1}, {"s", "x"}, {"a", Array{1, "y"}}, {"d", Dictionary{{"k", true}}}};
    EXPECT_EQ(hrn_JSONSafeDictionary(safe), safe);
    EXPECT_EQ(hrn_JSONSafeDictionary({}), Dictionary{});

    Dictionary unsafe{
        {"bytes", platform::Data::fromString("\x01\x02")},
        {"when", platform::Date{0}},
        {"nested", Dictionary{{"inner", platform::Data::fromString("A")}, {"ok", 2}}},
        {"list", Array{1, platform::Data::fromString("B")}},
        {"ok", "fine"},
    };
    Dictionary expected{
        {"bytes", "<0102>"},
        {"when", "1970-01-01 00:00:00 +0000"},
        {"nested", Dictionary{{"inner", "<41>"}, {"ok", 2}}},
        {"list", "(\n    1,\n    <42>\n)"},
        {"ok", "fine"},
    };
    Dictionary result = hrn_JSONSafeDictionary(unsafe);
    EXPECT_EQ(result, expected);
    EXPECT_TRUE(hrn_JSONStringPretty(result, false, nullptr));
}

TEST(HRNJSONAdditions, ObjectForKeyOfKind) {
    using Type = Value::Type;
    Dictionary d{{"s", "x"}, {"i", 3}, {"r", 1.5}, {"b", true}, {"d", Dictionary{}}};
    EXPECT_EQ(hrn_objectForKeyIfIsKindOfClass(d, "s", Type::String), &d.at("s"));
    EXPECT_EQ(hrn_objectForKeyIfIsKindOfClass(d, "s", Type::Integer), nullptr);
    EXPECT_EQ(hrn_objectForKeyIfIsKindOfClass(d, "i", Type::String), nullptr);
    for (const char* numberKey : {"i", "r", "b"})
        for (Type numberKind : {Type::Integer, Type::Real, Type::Bool})
            EXPECT_NE(hrn_objectForKeyIfIsKindOfClass(d, numberKey, numberKind), nullptr)
                << numberKey;
    EXPECT_NE(hrn_objectForKeyIfIsKindOfClass(d, "d", Type::Dictionary), nullptr);
    EXPECT_EQ(hrn_objectForKeyIfIsKindOfClass(d, "d", Type::Array), nullptr);
    EXPECT_EQ(hrn_objectForKeyIfIsKindOfClass(d, "missing", Type::String), nullptr);
}

}  // namespace
