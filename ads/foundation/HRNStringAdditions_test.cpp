#include "ads/foundation/HRNStringAdditions.h"

#include <gtest/gtest.h>

#include "ads/foundation/HRNErrorAdditions.h"
#include "platform/security/Digest.h"

namespace {

TEST(HRNStringAdditions, MD5MatchesOpenSSLCommandLine) {
    // From `printf '%s' TEXT | openssl md5 -r`.
    struct Case {
        const char* text;
        const char* hex;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"房子", "9a6a1945995d9e93dbc66f7456651387"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hrn_MD5String(c.text), c.hex) << c.text;
        platform::Data raw = hrn_MD5Data(c.text);
        EXPECT_EQ(raw.size(), 16u);
        EXPECT_EQ(platform::security::hex(raw), c.hex);
    }
}

TEST(HRNStringAdditions, TrimmedDoubleText) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {1.5, "1.5"},   {2.0, "2"},
        {100.0, "100"}, {0.25, "0.25"},
        {0.0, "0"},     {-3.1, "-3.1"},
        {10.0, "10"},   {1234567.125, "1234567.125"},
        {1e-7, "0"},    {0.1234567, "0.123457"},  // six decimals, rounded
    };
    for (const auto& c : cases)
        EXPECT_EQ(HRNStringFromDoubleTrimmingZeros(c.value), c.text) << c.value;
}

TEST(HRNStringAdditions, Descriptions) {
    using platform::Value;
    EXPECT_EQ(hrn_description(Value("a b")), "a b");
    EXPECT_EQ(hrn_description(Value(int64_t{-12})), "-12");
    EXPECT_EQ(hrn_description(Value(0.1)), "0.1");
    EXPECT_EQ(hrn_description(Value(2.0)), "2");
    EXPECT_EQ(hrn_description(Value(true)), "1");
    EXPECT_EQ(hrn_description(Value()), "<null>");
    EXPECT_EQ(hrn_description(Value(platform::Dictionary{{"k", "a b"}, {"n", 1}})),
              "{\n    k = \"a b\";\n    n = 1;\n}");
}

TEST(HRNErrorAdditions, ErrorsAndInternalTexts) {
    platform::Error e = hrn_errorWithDomain("d", 7, std::string("Went wrong."));
    EXPECT_EQ(e.domain, "d");
    EXPECT_EQ(e.code, 7);
    EXPECT_EQ(e.localizedDescription(), "Went wrong.");
    EXPECT_EQ(e.userInfo.at(kHRNLocalizedFailureReasonKey), platform::Value("Went wrong."));
    EXPECT_TRUE(hrn_errorWithDomain("d", 7, std::nullopt).userInfo.empty());

    platform::Error internal = hrn_errorWithCode(3, std::string("Invalid argument."));
    EXPECT_EQ(internal.domain, kHRNInternalErrorDomain);
    EXPECT_EQ(internal.code, 3);

    EXPECT_EQ(hrn_localizedDescriptionForErrorCode(1), "File could not be read.");
    EXPECT_EQ(hrn_localizedDescriptionForErrorCode(2), "Internal error.");
    EXPECT_EQ(hrn_localizedDescriptionForErrorCode(3), "Invalid argument.");
    EXPECT_EQ(hrn_localizedDescriptionForErrorCode(0), std::nullopt);
    EXPECT_EQ(hrn_localizedDescriptionForErrorCode(4), std::nullopt);
}

}  // namespace
