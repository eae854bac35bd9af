#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "platform/foundation/Files.h"
#include "platform/foundation/TestSupport_test.h"

namespace platform {
namespace {

using testing::run;
using testing::scratch;

Data allBytes() {
    Data d;
    for (int i = 0; i < 256; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        d.append(&b, 1);
    }
    return d;
}

// One of every kind a property list carries, with the awkward corners of each.
Value everyType() {
    Dictionary d;
    d["true"] = true;
    d["false"] = false;
    d["zero"] = 0;
    d["negative"] = -5;
    d["int64 min"] = std::numeric_limits<int64_t>::min();
    d["int64 max"] = std::numeric_limits<int64_t>::max();
    d["byte edge"] = 256;
    d["real"] = 0.1;
    d["real whole"] = 2.0;
    d["real negative"] = -1.5e-7;
    d["real huge"] = 1e300;
    d["text"] = "h\xc3\xa9llo \xe4\xb8\xad <&> \"q\"";
    d["empty text"] = "";
    d["data"] = allBytes();
    d["empty data"] = Data();
    d["date"] = Date{1700000000};
    d["date before 2001"] = Date{86400};
    d["array"] = Array{Value(1), Value("two"), Value(Array{}), Value(Dictionary{})};
    d["nested"] = Dictionary{{"inner", Value(Dictionary{{"deep", Value(Array{Value(true)})}})}};
    return Value(std::move(d));
}

TEST(PropertyList, EveryTypeRoundTripsInBothFormats) {
    for (plist::Format format : {plist::Format::XML, plist::Format::Binary}) {
        SCOPED_TRACE(format == plist::Format::XML ? "XML" : "binary");
        Error error;
        auto bytes = plist::serialize(everyType(), format, &error);
        ASSERT_TRUE(bytes) << error.localizedDescription();
        auto back = plist::parse(*bytes, &error);
        ASSERT_TRUE(back) << error.localizedDescription();
        EXPECT_EQ(*back, everyType());
        // Scalars at the top level too.
        for (const Value& scalar : {Value(42), Value("x"), Value(3.25), Value(false)}) {
            EXPECT_EQ(plist::parse(*plist::serialize(scalar, format)), scalar);
        }
    }
}

TEST(PropertyList, FormatsAreRecognisable) {
    auto xml = plist::serialize(everyType(), plist::Format::XML);
    auto binary = plist::serialize(everyType(), plist::Format::Binary);
    ASSERT_TRUE(xml && binary);
    EXPECT_NE(xml->toString().find("<plist"), std::string::npos);
    EXPECT_EQ(binary->toString().substr(0, 8), "bplist00");
}

TEST(PropertyList, BinaryKeepsFractionsOfSecondsInDates) {
    Value date(Date{1700000000.25});
    auto back = plist::parse(*plist::serialize(date, plist::Format::Binary));
    ASSERT_TRUE(back && back->asDate());
    EXPECT_NEAR(back->asDate()->secondsSince1970, 1700000000.25, 1e-6);
}

TEST(PropertyList, RefusesWhatItCannotCarry) {
    struct Case {
        const char* what;
        Value value;
    };
    const Case cases[] = {
        {"null", Value()},
        {"null in an array", Value(Array{Value(1), Value()})},
        {"null in a dictionary", Value(Dictionary{{"a", Value(Dictionary{{"b", Value()}})}})},
        {"text that is not UTF-8", Value("a\xff")},
        {"text with a NUL", Value(std::string("a\0b", 3))},
        {"key with a NUL", Value(Dictionary{{std::string("k\0", 2), Value(1)}})},
        {"date past the range", Value(Date{5e9})},
        {"date that is not finite", Value(Date{std::numeric_limits<double>::infinity()})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (plist::Format format : {plist::Format::XML, plist::Format::Binary}) {
            Error error;
            EXPECT_FALSE(plist::serialize(c.value, format, &error));
            EXPECT_FALSE(error.domain.empty());
            EXPECT_FALSE(error.localizedDescription().empty());
        }
    }
}

TEST(PropertyList, MalformedBytesGiveAnError) {
    const std::string cases[] = {
        "",
        "hello",
        "bplist00",
        "bplist00 and then nothing sensible at all, long enough for a trailer....",
        "<plist version=\"1.0\"><array><string>x</string>",
        "<plist><dict><string>not a key</string></dict></plist>",
        std::string("\0\0\0\0", 4),
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(bytes);
        Error error;
        EXPECT_FALSE(plist::parse(Data::fromString(bytes), &error));
        EXPECT_EQ(error.domain, "platform.plist");
    }
}

TEST(PropertyList, TruncatedInputGivesAnErrorAtEveryLength) {
    auto binary = plist::serialize(everyType(), plist::Format::Binary);
    ASSERT_TRUE(binary);
    for (size_t n = 0; n < binary->size(); ++n) {
        Error error;
        EXPECT_FALSE(plist::parse(Data(binary->data(), n), &error)) << "binary prefix " << n;
    }
    auto xml = plist::serialize(everyType(), plist::Format::XML);
    ASSERT_TRUE(xml);
    // Up to the end of the top-level element; after it only the closing </plist> is missing.
    size_t rootEnd = xml->toString().rfind("</dict>");
    for (size_t n = 0; n < rootEnd; ++n) {
        EXPECT_FALSE(plist::parse(Data(xml->data(), n))) << "XML prefix " << n;
    }
}

TEST(PropertyList, DamagedBinaryNeverCrashes) {
    auto binary = plist::serialize(everyType(), plist::Format::Binary);
    ASSERT_TRUE(binary);
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Data damaged = *binary;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) {
            damaged.bytes()[random() % damaged.size()] ^=
                static_cast<uint8_t>(1u << (random() % 8));
        }
        Error error;
        auto value = plist::parse(damaged, &error);
        if (!value) {
            EXPECT_FALSE(error.localizedDescription().empty());
        }
    }
}

// A binary property list of `depth` arrays, each holding the next.
Data nestedBinary(uint32_t depth) {
    Data out = Data::fromString("bplist00");
    std::vector<uint32_t> offsets;
    auto be32 = [&](uint32_t v) {
        uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        out.append(b, 4);
    };
    for (uint32_t i = 0; i <= depth; ++i) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        uint8_t marker = i < depth ? 0xA1 : 0xA0;
        out.append(&marker, 1);
        if (i < depth) be32(i + 1);
    }
    uint32_t table = static_cast<uint32_t>(out.size());
    for (uint32_t o : offsets)
        be32(o);
    uint8_t trailer[32] = {};
    trailer[6] = 4;
    trailer[7] = 4;
    auto put64 = [&](int at, uint64_t v) {
        for (int k = 7; k >= 0; --k, v >>= 8)
            trailer[at + k] = uint8_t(v);
    };
    put64(8, depth + 1);
    put64(16, 0);
    put64(24, table);
    out.append(trailer, 32);
    return out;
}

TEST(PropertyList, HostileNestingIsRefusedNotACrash) {
    // Shallow nesting reads; deep nesting is refused before libplist recurses into it.
    auto shallow = plist::parse(nestedBinary(50));
    ASSERT_TRUE(shallow);
    EXPECT_TRUE(shallow->isArray());
    EXPECT_FALSE(plist::parse(nestedBinary(200000)));

    std::string xml = "<plist version=\"1.0\">";
    for (int i = 0; i < 200000; ++i)
        xml += "<array>";
    EXPECT_FALSE(plist::parse(Data::fromString(xml)));
    for (int i = 0; i < 200000; ++i)
        xml += "</array>";
    xml += "</plist>";
    EXPECT_FALSE(plist::parse(Data::fromString(xml)));

    Value deep = Array{};
    for (int i = 0; i < 1000; ++i)
        deep = Value(Array{std::move(deep)});
    EXPECT_FALSE(plist::serialize(deep, plist::Format::Binary));
}

TEST(PropertyList, ReadsWhatPlistutilWritesAndTheOtherWayRound) {
    if (!run("command -v plistutil >/dev/null")) GTEST_SKIP() << "plistutil is not installed";
    const auto ours = scratch("ours.xml"), converted = scratch("converted.bin");
    ASSERT_TRUE(plist::writeFile(ours, everyType(), plist::Format::XML));
    ASSERT_TRUE(run("plistutil -i " + ours.string() + " -o " + converted.string() + " -f bin"));
    auto back = plist::readFile(converted);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, everyType());

    const auto oursBinary = scratch("ours.bin"), convertedXml = scratch("converted.xml");
    ASSERT_TRUE(plist::writeFile(oursBinary, everyType(), plist::Format::Binary));
    ASSERT_TRUE(
        run("plistutil -i " + oursBinary.string() + " -o " + convertedXml.string() + " -f xml"));
    auto xmlBack = plist::readFile(convertedXml);
    ASSERT_TRUE(xmlBack);
    EXPECT_EQ(*xmlBack, everyType());
}

// Python's plistlib is an independent reader and writer of both formats.
TEST(PropertyList, AgreesWithPythonPlistlib) {
    const auto fromPython = scratch("python.bin");
    ASSERT_TRUE(
        run("python3 -c '"
            "import plistlib, datetime, sys\n"
            "v = {\"i\": -3, \"big\": 2**62, \"r\": 0.5, \"s\": \"\\u00e9\\u4e2d\", "
            "\"b\": True, \"d\": bytes(range(5)), "
            "\"t\": datetime.datetime(2023, 11, 14, 22, 13, 20), \"a\": [1, [], {}]}\n"
            "open(sys.argv[1], \"wb\").write(plistlib.dumps(v, fmt=plistlib.FMT_BINARY))' " +
            fromPython.string()));
    auto read = plist::readFile(fromPython);
    ASSERT_TRUE(read);
    Value expected = Dictionary{
        {"i", Value(-3)},
        {"big", Value(int64_t{1} << 62)},
        {"r", Value(0.5)},
        {"s", Value("\xc3\xa9\xe4\xb8\xad")},
        {"b", Value(true)},
        {"d", Value(Data("\x00\x01\x02\x03\x04", 5))},
        {"t", Value(Date{1700000000})},
        {"a", Value(Array{Value(1), Value(Array{}), Value(Dictionary{})})},
    };
    EXPECT_EQ(*read, expected);

    for (plist::Format format : {plist::Format::XML, plist::Format::Binary}) {
        const auto forPython = scratch("for-python.plist");
        ASSERT_TRUE(plist::writeFile(forPython, expected, format));
        auto printed =
            run("python3 -c 'import plistlib, sys\n"
                "v = plistlib.load(open(sys.argv[1], \"rb\"))\n"
                "print(sorted((k, repr(x)) for k, x in v.items()))' " +
                forPython.string());
        ASSERT_TRUE(printed);
        EXPECT_EQ(*printed,
                  "[('a', '[1, [], {}]'), ('b', 'True'), ('big', '4611686018427387904'), "
                  "('d', \"b'\\\\x00\\\\x01\\\\x02\\\\x03\\\\x04'\"), ('i', '-3'), ('r', '0.5'), "
                  "('s', \"'\xc3\xa9\xe4\xb8\xad'\"), "
                  "('t', 'datetime.datetime(2023, 11, 14, 22, 13, 20)')]\n");
    }
}

TEST(PropertyList, FileForms) {
    const auto path = scratch("sub/dir/file.plist");
    Error error;
    EXPECT_FALSE(plist::readFile(path, &error));
    EXPECT_FALSE(error.localizedDescription().empty());
    EXPECT_FALSE(files::exists(path));  // reading creates nothing

    ASSERT_TRUE(plist::writeFile(path, everyType(), plist::Format::Binary));
    EXPECT_EQ(plist::readFile(path), everyType());

    // A refused value leaves the old file as it was.
    EXPECT_FALSE(plist::writeFile(path, Value(Array{Value()}), plist::Format::XML, &error));
    EXPECT_EQ(plist::readFile(path), everyType());
}

TEST(Json, ParsesFragmentsAndKeepsNumberKinds) {
    struct Case {
        std::string text;
        Value expected;
    };
    const Case cases[] = {
        {"3", Value(3)},
        {" -12 ", Value(-12)},
        {"1.0", Value(1.0)},
        {"1e2", Value(100.0)},
        {"-0.5", Value(-0.5)},
        {"9223372036854775807", Value(std::numeric_limits<int64_t>::max())},
        {"-9223372036854775808", Value(std::numeric_limits<int64_t>::min())},
        {"18446744073709551615", Value(18446744073709551615.0)},
        {"true", Value(true)},
        {"false", Value(false)},
        {"null", Value()},
        {"\"a\\u00e9\\n\"", Value("a\xc3\xa9\n")},
        {"\"\\ud83d\\ude00\"", Value("\xf0\x9f\x98\x80")},
        {"[]", Value(Array{})},
        {"{}", Value(Dictionary{})},
        {"[1, 1.5, \"x\", null, true]",
         Value(Array{Value(1), Value(1.5), Value("x"), Value(), Value(true)})},
        {"{\"b\": {\"c\": [0]}, \"a\": 1, \"a\": 2}",
         Value(
             Dictionary{{"a", Value(2)}, {"b", Value(Dictionary{{"c", Value(Array{Value(0)})}})}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        auto value = json::parse(c.text, &error);
        ASSERT_TRUE(value) << error.localizedDescription();
        EXPECT_EQ(*value, c.expected);
    }
}

TEST(Json, MalformedInputGivesAnError) {
    const std::string cases[] = {
        "",
        " ",
        "{",
        "[1,]",
        "{\"a\" 1}",
        "nul",
        "'a'",
        "1 2",
        "[1] x",
        "{\"a\":1,}",
        "\"a\xff\"",      // not UTF-8
        "\"\xc0\xaf\"",   // overlong
        "\"\\ud800\"",    // lone surrogate
        "\"tab\there\"",  // raw control character
        std::string("[\0]", 3),
        std::string(100000, '['),  // nesting bomb
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 20));
        Error error;
        EXPECT_FALSE(json::parse(text, &error));
        EXPECT_EQ(error.domain, "platform.json");
        EXPECT_FALSE(error.localizedDescription().empty());
    }
}

TEST(Json, SerializesCompactAndPretty) {
    Value v = Dictionary{{"b", Value(Array{Value(1), Value(2.5), Value()})},
                         {"a", Value("x\"/\n")},
                         {"c", Value(true)},
                         {"d", Value(1.0)}};
    EXPECT_EQ(json::serialize(v), "{\"a\":\"x\\\"/\\n\",\"b\":[1,2.5,null],\"c\":true,\"d\":1.0}");
    EXPECT_EQ(json::serialize(v, true),
              "{\n"
              "  \"a\": \"x\\\"/\\n\",\n"
              "  \"b\": [\n"
              "    1,\n"
              "    2.5,\n"
              "    null\n"
              "  ],\n"
              "  \"c\": true,\n"
              "  \"d\": 1.0\n"
              "}");
    EXPECT_EQ(json::serialize(Value("fragment")), "\"fragment\"");
    EXPECT_EQ(json::serialize(Value(-7)), "-7");
}

TEST(Json, RefusesWhatItCannotCarry) {
    const Value cases[] = {
        Value(Data::fromString("x")),
        Value(Array{Value(Date{1})}),
        Value(std::numeric_limits<double>::quiet_NaN()),
        Value(Dictionary{{"inf", Value(std::numeric_limits<double>::infinity())}}),
        Value("a\xff"),
        Value(Dictionary{{"k\xfe", Value(1)}}),
    };
    for (const Value& v : cases) {
        Error error;
        EXPECT_FALSE(json::serialize(v, false, &error));
        EXPECT_EQ(error.domain, "platform.json");
    }
}

TEST(Json, RoundTripsAndAgreesWithPython) {
    Value v = Dictionary{
        {"int", Value(-42)},
        {"big", Value(std::numeric_limits<int64_t>::max())},
        {"real", Value(0.1)},
        {"whole real", Value(3.0)},
        {"tiny", Value(5e-324)},
        {"text", Value("\xc3\xa9\xe4\xb8\xad \"quoted\" \\ \x01")},
        {"list", Value(Array{Value(true), Value(false), Value(), Value(Array{})})},
        {"object", Value(Dictionary{{"z", Value(Dictionary{})}, {"a", Value(1)}})},
    };
    for (bool pretty : {false, true}) {
        auto text = json::serialize(v, pretty);
        ASSERT_TRUE(text);
        EXPECT_EQ(json::parse(*text), v);
    }

    // Python reads our output and writes it back the same way: same numbers, same kinds.
    const auto path = scratch("sample.json");
    auto compact = json::serialize(v);
    ASSERT_TRUE(compact);
    ASSERT_TRUE(files::writeAtomically(path, *compact));
    auto python =
        run("python3 -c 'import json, sys\n"
            "v = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
            "assert type(v[\"int\"]) is int and type(v[\"whole real\"]) is float\n"
            "sys.stdout.buffer.write(json.dumps(v, sort_keys=True, separators=(\",\", \":\"), "
            "ensure_ascii=False).encode())' " +
            path.string());
    ASSERT_TRUE(python);
    EXPECT_EQ(*python, *compact);
    EXPECT_EQ(json::parse(*python), v);
}

}  // namespace
}  // namespace platform
