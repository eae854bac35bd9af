#include "platform/foundation/KeyedArchive.h"

#include <gtest/gtest.h>

#include "platform/foundation/PropertyList.h"

namespace platform {
namespace {

TEST(KeyedArchive, RoundTripsEveryValueIncludingNull) {
    const Value cases[] = {
        Value(),
        Value(Dictionary{{"token", Value("abc")},
                         {"expires", Value(Date{1700000000.5})},
                         {"secret", Value(Data::fromString(std::string("\0\1\2", 3)))},
                         {"missing", Value()},
                         {"list", Value(Array{Value(1), Value(), Value(2.5), Value(false)})}}),
        Value(int64_t{-1}),
        Value(""),
    };
    for (const Value& v : cases) {
        Data bytes = archive::archive(v);
        ASSERT_FALSE(bytes.empty());
        Error error;
        auto back = archive::unarchive(bytes, &error);
        ASSERT_TRUE(back) << error.localizedDescription();
        EXPECT_EQ(*back, v);
    }
}

TEST(KeyedArchive, IsABinaryPropertyListWithAMarker) {
    Data bytes = archive::archive(Value(7));
    auto top = plist::parse(bytes);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->find("$archiver")->asString(), "QenKeyedArchive");
    EXPECT_EQ(top->find("$version")->asInteger(), 1);
    EXPECT_EQ(top->find("root")->asInteger(), 7);
}

TEST(KeyedArchive, RefusesUnstorableValues) {
    Error error;
    EXPECT_TRUE(archive::archive(Value(Array{Value("bad \xff")}), &error).empty());
    EXPECT_NE(error.localizedDescription().find("UTF-8"), std::string::npos);
    EXPECT_TRUE(archive::archive(Value(std::string("nul\0", 4))).empty());
}

TEST(KeyedArchive, GarbageFailsWithAReason) {
    auto plistOf = [](Value v) { return *plist::serialize(v, plist::Format::Binary); };
    struct Case {
        const char* what;
        Data bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", Data(), "not an archive"},
        {"random bytes", Data::fromString("\x13\x37garbage"), "not an archive"},
        {"a plain array", plistOf(Value(Array{Value(1)})), "no dictionary"},
        {"no marker", plistOf(Value(Dictionary{{"root", Value(1)}})), "$archiver"},
        {"another archiver",
         plistOf(Value(Dictionary{{"$archiver", Value("Other")}, {"root", Value(1)}})),
         "$archiver"},
        {"a later version",
         plistOf(Value(Dictionary{
             {"$archiver", Value("QenKeyedArchive")}, {"$version", Value(2)}, {"root", Value(1)}})),
         "version"},
        {"no root",
         plistOf(
             Value(Dictionary{{"$archiver", Value("QenKeyedArchive")}, {"$version", Value(1)}})),
         "no root"},
        {"truncated", Data(archive::archive(Value("x")).data(), 20), "not an archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Error error;
        EXPECT_FALSE(archive::unarchive(c.bytes, &error));
        EXPECT_EQ(error.domain, "platform.archive");
        EXPECT_NE(error.localizedDescription().find(c.reason), std::string::npos)
            << error.localizedDescription();
    }
}

}  // namespace
}  // namespace platform
