#include "puffin/networking/PFCrypto.h"

#include <gtest/gtest.h>

namespace {

using platform::Data;

TEST(PFCrypto, HexAndSHA1) {
    const uint8_t bytes[] = {0x00, 0xAB};
    EXPECT_EQ(PFCrypto::hexRepresentationOfData(Data(bytes, 2)), "00ab");
    EXPECT_EQ(PFCrypto::hexRepresentationOfData(Data()), "");
    EXPECT_EQ(PFCrypto::hexRepresentationOfData(std::nullopt), std::nullopt);
    // FIPS 180 examples.
    EXPECT_EQ(PFCrypto::SHA1StringWithData(Data::fromString("abc")),
              "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(PFCrypto::SHA1StringWithData(Data()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(PFCrypto::SHA1StringWithData(std::nullopt), "");
    EXPECT_EQ(PFCrypto::SHA1DataWithData(Data::fromString("abc"))->size(), 20u);
    EXPECT_EQ(PFCrypto::SHA1DataWithData(std::nullopt), std::nullopt);
}

}  // namespace
