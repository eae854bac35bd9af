#include "platform/security/Digest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/testing/TestSupport.h"

namespace platform::security {
namespace {

// The digest that the openssl command prints for a file's bytes.
std::string opensslDigest(const std::string& algorithm, const Data& bytes) {
    const auto path = AppHome::temporary() / "digest-input";
    EXPECT_TRUE(files::writeAtomically(path, bytes));
    const std::string command = "openssl dgst -" + algorithm + " -r '" + path.string() + "'";
    const std::string out = platform::testing::runProgram(command).output;
    return out.substr(0, out.find(' '));  // "<hex> *<file>"
}

TEST(Digest, MatchesTheOpensslCommand) {
    std::vector<uint8_t> everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.push_back(static_cast<uint8_t>(i));
    std::vector<uint8_t> large(1 << 20);
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<uint8_t>(i * 7 + i / 13);
    const std::vector<Data> inputs = {Data(), Data::fromString("abc"),
                                      Data::fromString("房价又涨了"), Data(everyByte), Data(large)};
    for (const Data& input : inputs) {
        SCOPED_TRACE("input of " + std::to_string(input.size()) + " bytes");
        EXPECT_EQ(md5Hex(input), opensslDigest("md5", input));
        EXPECT_EQ(sha1Hex(input), opensslDigest("sha1", input));
        EXPECT_EQ(sha256Hex(input), opensslDigest("sha256", input));
        EXPECT_EQ(hex(sha256(input)), sha256Hex(input));
    }
}

TEST(Digest, RawDigestsHaveTheirLengthsAndTextIsItsBytes) {
    EXPECT_EQ(md5("abc").size(), 16u);
    EXPECT_EQ(sha1("abc").size(), 20u);
    EXPECT_EQ(sha256("abc").size(), 32u);
    EXPECT_EQ(md5Hex(std::string("abc")), md5Hex(Data::fromString("abc")));
    EXPECT_EQ(hex(Data(std::vector<uint8_t>{0x00, 0x0f, 0xa0, 0xff})), "000fa0ff");
    // A text with a NUL in it digests every byte, not up to the NUL.
    EXPECT_NE(md5Hex(std::string_view("a\0b", 3)), md5Hex("a"));
}

TEST(Digest, RandomBytesHaveTheAskedLengthAndDiffer) {
    EXPECT_TRUE(randomBytes(0).empty());
    EXPECT_EQ(randomBytes(1).size(), 1u);
    std::set<std::vector<uint8_t>> seen;
    for (int i = 0; i < 50; ++i)
        seen.insert(randomBytes(16).bytes());
    EXPECT_EQ(seen.size(), 50u);
    // Every byte value turns up in a large sample: the buffer is really filled.
    std::set<uint8_t> values;
    const Data sample = randomBytes(1 << 16);
    for (uint8_t b : sample.bytes())
        values.insert(b);
    EXPECT_EQ(values.size(), 256u);
}

}  // namespace
}  // namespace platform::security
