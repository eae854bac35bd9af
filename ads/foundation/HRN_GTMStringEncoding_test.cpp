#include "ads/foundation/HRN_GTMStringEncoding.h"

#include <gtest/gtest.h>

namespace {

using Encoding = HRN_GTMStringEncoding;
using platform::Data;

TEST(HRN_GTMStringEncoding, Rfc4648TestVectors) {
    // RFC 4648 section 10, checked against Python's base64 module.
    const char* inputs[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    struct Row {
        std::shared_ptr<Encoding> encoding;
        const char* outputs[7];
    } rows[] = {
        {Encoding::rfc4648Base64StringEncoding(),
         {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"}},
        {Encoding::rfc4648Base32StringEncoding(),
         {"", "MY======", "MZXQ====", "MZXW6===", "MZXW6YQ=", "MZXW6YTB", "MZXW6YTBOI======"}},
        {Encoding::rfc4648Base32HexStringEncoding(),
         {"", "CO======", "CPNG====", "CPNMU===", "CPNMUOG=", "CPNMUOJ1", "CPNMUOJ1E8======"}},
        {Encoding::hexStringEncoding(),
         {"", "66", "666F", "666F6F", "666F6F62", "666F6F6261", "666F6F626172"}},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(row.encoding);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(row.encoding->encodeString(inputs[i]), row.outputs[i]) << inputs[i];
            EXPECT_EQ(row.encoding->stringByDecoding(row.outputs[i]), inputs[i]) << row.outputs[i];
        }
    }
}

TEST(HRN_GTMStringEncoding, WebsafeAndPaddingSwitch) {
    Data bytes(std::vector<uint8_t>{0xfb, 0xff});
    EXPECT_EQ(Encoding::rfc4648Base64StringEncoding()->encode(bytes), "+/8=");
    auto websafe = Encoding::rfc4648Base64WebsafeStringEncoding();
    EXPECT_EQ(websafe->encode(bytes), "-_8=");
    websafe->setDoPad(false);
    EXPECT_FALSE(websafe->doPad());
    EXPECT_EQ(websafe->encode(bytes), "-_8");
    EXPECT_EQ(websafe->decode("-_8"), bytes);  // padding is optional when decoding
    EXPECT_EQ(websafe->decode("-_8="), bytes);
    EXPECT_FALSE(websafe->decode("+/8="));
}

TEST(HRN_GTMStringEncoding, BinaryAndCrockford) {
    auto binary = Encoding::binaryStringEncoding();
    EXPECT_EQ(binary->encode(Data(std::vector<uint8_t>{0xA5, 0x01})), "1010010100000001");
    EXPECT_EQ(binary->decode("00000011"), Data(std::vector<uint8_t>{3}));

    auto crockford = Encoding::crockfordBase32StringEncoding();
    EXPECT_EQ(crockford->encodeString("foobar"), "CSQPYRK1E8");
    // Look-alike letters decode as the digits and letters they stand for, in either case.
    EXPECT_EQ(crockford->stringByDecoding("csqpyrk1e8"), "foobar");
    EXPECT_EQ(crockford->decode("O0"), crockford->decode("00"));
    ASSERT_TRUE(crockford->decode("1G"));
    EXPECT_EQ(crockford->decode("iG"), crockford->decode("1G"));
    EXPECT_EQ(crockford->decode("Lg"), crockford->decode("1G"));
    EXPECT_FALSE(crockford->decode("U0"));  // U is not in the alphabet
}

TEST(HRN_GTMStringEncoding, DecodingRefusals) {
    auto base64 = Encoding::rfc4648Base64StringEncoding();
    auto hex = Encoding::hexStringEncoding();
    struct Case {
        Encoding* encoding;
        const char* text;
    } refused[] = {
        {base64.get(), "Zm9v!"},         // outside the alphabet
        {base64.get(), "Zg==Zg=="},      // data after padding
        {base64.get(), "Zh=="},          // left-over bits not zero
        {base64.get(), "Zm9v\xc3\xa9"},  // not ASCII
        {hex.get(), "6G"},
        {hex.get(), "66 6F"},  // blanks are not ignored unless asked
    };
    for (const auto& c : refused)
        EXPECT_FALSE(c.encoding->decode(c.text)) << c.text;

    EXPECT_EQ(hex->stringByDecoding("666f6F"), "foo");  // hex decodes either case
    hex->ignoreCharacters(" \n");
    EXPECT_EQ(hex->stringByDecoding("66 6F\n6F"), "foo");
    EXPECT_FALSE(hex->stringByDecoding("FF"));  // bytes that are not UTF-8 are no text
    EXPECT_EQ(hex->decode("FF"), Data(std::vector<uint8_t>{0xff}));
}

TEST(HRN_GTMStringEncoding, MakingAndDescribing) {
    for (const char* bad : {"", "0", "012", "0120", "0\x80", "abcdefg"})
        EXPECT_FALSE(Encoding::stringEncodingWithString(bad)) << bad;
    auto octal = Encoding::stringEncodingWithString("01234567");
    ASSERT_TRUE(octal);
    EXPECT_EQ(octal->encodeString("A"), "202");  // 01000001 -> 010 000 01(0)
    octal->setPaddingChar('*');
    octal->setDoPad(true);
    EXPECT_EQ(octal->encodeString("A"), "202*****");  // 3 bytes' worth: 8 characters
    EXPECT_EQ(octal->stringByDecoding("202*****"), "A");

    EXPECT_EQ(Encoding::binaryStringEncoding()->description(), "<Base2 StringEncoder: <3031>>");
    EXPECT_EQ(Encoding::hexStringEncoding()->description(),
              "<Base16 StringEncoder: <30313233 34353637 38394142 43444546>>");
}

}  // namespace
