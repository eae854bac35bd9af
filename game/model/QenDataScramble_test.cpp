// Scrambling of numeric texts: round trips, the scrambled shape, damaged forms, and the
// guarantee that scrambling always ends with a form that holds no zero byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/Log.h"

namespace {

std::string scrambled(std::string text) {
    QenData::Encrypt(text);
    return text;
}

std::string unscrambled(std::string text) {
    QenData::Decrypt(text);
    return text;
}

TEST(QenDataScramble, RoundTripsUnderEveryKeyType) {
    const char* plains[] = {"0",
                            "-5",
                            "3000",
                            "9223372036854775807",
                            "-9223372036854775808",
                            "1234567890123456789",
                            "sharecangetgift",
                            "nogiftthistime",
                            "noadplease",
                            "hinton",
                            "http://example.test/download?id=7&x=a%20b"};
    for (const char* plain : plains) {
        std::set<std::string> forms;
        // Enough seeds to draw every key type many times over.
        for (unsigned seed = 1; seed <= 400; ++seed) {
            std::srand(seed);
            const std::string form = scrambled(plain);
            EXPECT_EQ(form.find('\0'), std::string::npos) << plain;
            EXPECT_NE(form, plain);
            platform::LogCapture log;
            EXPECT_EQ(unscrambled(form), plain) << "seed " << seed;
            EXPECT_TRUE(log.lines().empty()) << plain;
            forms.insert(form);
        }
        EXPECT_GE(forms.size(), 20u) << plain;  // one form per key type, or nearly
    }
}

TEST(QenDataScramble, FormCarriesChecksumLengthAndMarker) {
    // "3000": checksum 3x1 = "3", one character long: 4 + 1 + 1 + marker = 7.
    EXPECT_EQ(scrambled("3000").size(), 7u);
    // "-5": checksum (-3)x1 + 5x2 = "7".
    EXPECT_EQ(scrambled("-5").size(), 2u + 1 + 1 + 1);
    // "99999": 9 x (1+2+3+4+5) = "135".
    EXPECT_EQ(scrambled("99999").size(), 5u + 3 + 1 + 1);
    // "-1": (-3)x1 + 1x2 = "-1", two characters.
    EXPECT_EQ(scrambled("-1").size(), 2u + 2 + 1 + 1);
    // The empty text still gets a form ("0" and its length), and reads back empty.
    const std::string empty = scrambled("");
    EXPECT_EQ(empty.size(), 3u);
    EXPECT_EQ(unscrambled(empty), "");
}

TEST(QenDataScramble, EveryScramblingConsumesOneDraw) {
    std::srand(77);
    std::string value = "123";
    QenData::Encrypt(value);
    const int next = std::rand();
    std::srand(77);
    std::rand();
    EXPECT_EQ(std::rand(), next);
}

TEST(QenDataScramble, ShortOrUnmarkedTextsStayAsTheyAre) {
    struct Case {
        std::string text;
        std::string line;
    } cases[] = {
        {"", "Empty string don't need Decrypt"},
        {"7", "String <7> is too short for Decrypt"},
        {"52", "String <52> is too short for Decrypt"},
        {"100", "Decrypt: no keytype match <100>"},
        {"-17", "Decrypt: no keytype match <-17>"},
        {"abc", "Decrypt: no keytype match <abc>"},
    };
    for (const Case& c : cases) {
        platform::LogCapture log;
        std::string text = c.text;
        QenData::Decrypt(text);
        EXPECT_EQ(text, c.text);
        ASSERT_EQ(log.lines().size(), 1u) << c.text;
        EXPECT_EQ(log.lines()[0], c.line);
    }
}

TEST(QenDataScramble, ADamagedFormIsReportedAndNeverReadOutOfRange) {
    int mismatches = 0;
    int unmarked = 0;
    int silent = 0;
    for (unsigned seed = 1; seed <= 50; ++seed) {
        std::srand(seed);
        const std::string form = scrambled("3000");
        for (size_t i = 0; i < form.size(); ++i) {
            for (int delta : {1, 7, 128, 255}) {
                std::string damaged = form;
                damaged[i] = static_cast<char>(static_cast<unsigned char>(damaged[i]) + delta);
                if (damaged[i] == '\0') continue;
                platform::LogCapture log;
                QenData::Decrypt(damaged);
                if (log.contains("Decrypt: crc not match")) {
                    ++mismatches;
                } else if (log.contains("Decrypt: no keytype match")) {
                    ++unmarked;
                } else {
                    ++silent;
                }
                EXPECT_LE(damaged.size(), form.size());
            }
        }
    }
    EXPECT_GT(mismatches, 0);
    EXPECT_GT(unmarked, 0);
    // A change that keeps the checksum can pass; it must be rare.
    EXPECT_LT(silent, (mismatches + unmarked) / 20);
}

TEST(QenDataScramble, LengthCharacterPointingOutsideTheTextIsAMismatch) {
    // Find the marker and shift of a form, then forge forms whose length character claims more
    // characters than there are, or a negative count.
    std::srand(3);
    const std::string form = scrambled("5");  // body "5", "5", length 1
    ASSERT_EQ(form.size(), 4u);
    // Recover the row's shift of position 2 from the known clear byte (length 1).
    const int shift2 = static_cast<unsigned char>(form[2]) - 1;
    for (int claimed : {2, 3, 100, 127, -1, -128}) {
        std::string forged = form;
        forged[2] = static_cast<char>(static_cast<unsigned char>(claimed + shift2));
        if (forged[2] == '\0') continue;
        platform::LogCapture log;
        QenData::Decrypt(forged);
        EXPECT_TRUE(log.contains("Decrypt: crc not match")) << claimed;
        EXPECT_LE(forged.size(), 2u);
    }
}

TEST(QenDataScramble, MismatchLeavesTheResidueForTheCaller) {
    std::srand(11);
    std::string form = scrambled("42");
    // Changing the first byte by one changes the clear first digit by one.
    form[0] = static_cast<char>(static_cast<unsigned char>(form[0]) + 1);
    platform::LogCapture log;
    QenData::Decrypt(form);
    EXPECT_TRUE(log.contains("Decrypt: crc not match"));
    EXPECT_EQ(form, "52");
}

// Scrambling must end for every clear body. Bodies of ASCII bytes never need another key type;
// bodies with bytes above 127 may, and short ones always find one. Randomized over lengths and
// contents, checked by the absence of zero bytes and by the round trip.
TEST(QenDataScramble, ScramblingAlwaysEndsWithoutZeroBytes) {
    std::mt19937 gen(2024);
    for (int round = 0; round < 20000; ++round) {
        const bool ascii = round % 2 == 0;
        const size_t length = gen() % (ascii ? 64 : 12);
        std::string plain;
        for (size_t i = 0; i < length; ++i) {
            plain.push_back(static_cast<char>(ascii ? 1 + gen() % 127 : 1 + gen() % 255));
        }
        std::srand(static_cast<unsigned>(round));
        std::string form = plain;
        QenData::Encrypt(form);
        ASSERT_EQ(form.find('\0'), std::string::npos);
        platform::LogCapture log;
        std::string back = form;
        QenData::Decrypt(back);
        ASSERT_EQ(back, plain) << "round " << round;
        ASSERT_FALSE(log.contains("crc")) << "round " << round;
    }
}

TEST(QenDataScramble, EveryByteInEveryPositionScramblesUnderEveryKeyType) {
    // Exhaustive over single bytes at each of the twelve key columns: a text of ASCII padding
    // followed by the byte, scrambled under many drawn key types, must round-trip.
    for (int column = 0; column < 12; ++column) {
        for (int byte = 1; byte < 256; ++byte) {
            std::string plain(static_cast<size_t>(column), '1');
            plain.push_back(static_cast<char>(byte));
            for (unsigned seed = 1; seed <= 30; ++seed) {
                std::srand(seed);
                std::string form = plain;
                QenData::Encrypt(form);
                ASSERT_EQ(form.find('\0'), std::string::npos);
                std::string back = form;
                QenData::Decrypt(back);
                ASSERT_EQ(back, plain) << "column " << column << " byte " << byte;
            }
        }
    }
}

TEST(QenDataScramble, AdversarialLongBodyStillEnds) {
    // Every byte value in every column: enough to block every key type.
    std::string plain;
    for (int rep = 0; rep < 12; ++rep) {
        for (int byte = 1; byte < 256; ++byte)
            plain.push_back(static_cast<char>(byte));
    }
    std::srand(5);
    std::string form = plain;
    QenData::Encrypt(form);  // must return
    EXPECT_EQ(form.find('\0'), std::string::npos);
}

TEST(QenDataScramble, AFileOfAnySizeKeepsItsChecksum) {
    // 17 million bytes whose terms are the largest: past the int range of a term's product.
    const std::string plain(17'000'000, static_cast<char>(0xB0));
    std::srand(3);
    std::string form = plain;
    QenData::Encrypt(form);
    ASSERT_NE(form, plain);
    QenData::Decrypt(form);
    EXPECT_TRUE(form == plain);
}

TEST(QenDataScramble, ReadAndStoreFollowTheDiscipline) {
    std::string cash;
    QenData::storeMoney(cash, 9000000000LL);
    EXPECT_NE(cash, "9000000000");
    EXPECT_EQ(QenData::readMoney(cash), 9000000000LL);
    EXPECT_EQ(unscrambled(cash), "9000000000");  // still scrambled after the read

    std::string health;
    QenData::storeInt(health, -3);
    EXPECT_EQ(QenData::readInt(health), -3);
    EXPECT_EQ(QenData::readInt(health), -3);

    std::string plain = "52";  // a value never scrambled reads as it stands
    EXPECT_EQ(QenData::readInt(plain), 52);
    EXPECT_EQ(unscrambled(plain), "52");
}

TEST(QenNumbers, ParseLikeTheGameAlwaysHas) {
    struct Case {
        const char* text;
        int64_t asLong;
        int32_t asInt;
    } cases[] = {
        {"", 0, 0},
        {"abc", 0, 0},
        {"  42xyz", 42, 42},
        {"\t-17", -17, -17},
        {"+8", 8, 8},
        {"- 3", 0, 0},
        {"2147483648", 2147483648LL, 2147483647},
        {"-2147483649", -2147483649LL, -2147483647 - 1},
        {"99999999999999999999", INT64_MAX, 2147483647},
        {"-99999999999999999999", INT64_MIN, -2147483647 - 1},
        {"-9223372036854775808", INT64_MIN, -2147483647 - 1},
        {"12.9", 12, 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qen::longLongValue(c.text), c.asLong) << c.text;
        EXPECT_EQ(qen::intValue(c.text), c.asInt) << c.text;
    }
}

}  // namespace
