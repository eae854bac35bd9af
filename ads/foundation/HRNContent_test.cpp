#include "ads/foundation/HRNContent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ads/foundation/HRNCharacterSets.h"
#include "ads/foundation/HRNContentQueue.h"
#include "ads/foundation/HRNMurmurHash3.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRN_GTMStringEncoding.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Digest.h"

namespace {

using Tokens = std::vector<std::string>;

void setSetting(const std::string& name, const std::string& text) {
    platform::UserDefaults::standard().set(HRNSettingKey(name), text);
}

// The fingerprint of shingles given in heap order, from the published definitions: one
// byte per token (MurmurHash3's four bytes folded by exclusive-or), MD5, the first 4 bytes.
std::string expectedFingerprint(const std::vector<Tokens>& shingles) {
    platform::Data out;
    for (const Tokens& shingle : shingles) {
        std::string bytes;
        for (const std::string& token : shingle) {
            uint32_t m = HRNMurmurHash3(token.data(), token.size(), 0);
            bytes +=
                static_cast<char>((m & 0xFF) ^ ((m >> 8) & 0xFF) ^ ((m >> 16) & 0xFF) ^ (m >> 24));
        }
        out.append(platform::security::md5(bytes).data(), 4);
    }
    return HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->encode(out);
}

// The hash of a window computed directly as a polynomial in the base.
uint64_t directHash(const Tokens& tokens, size_t from, size_t count) {
    uint64_t h = 0;
    for (size_t i = from; i < from + count; ++i)
        h = (h * HRNContent::kBase % HRNContent::kModulus + HRNContent::tokenValue(tokens[i])) %
            HRNContent::kModulus;
    return h;
}

// The fingerprint a content must have when every window of `tokens` is kept.
std::string fingerprintOfWindows(const Tokens& tokens, size_t length) {
    std::vector<std::pair<uint64_t, Tokens>> windows;
    const size_t k = std::min(length, tokens.size());
    for (size_t i = 0; i + k <= tokens.size(); ++i)
        windows.emplace_back(directHash(tokens, i, k),
                             Tokens(tokens.begin() + i, tokens.begin() + i + k));
    std::sort(windows.begin(), windows.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Tokens> shingles;
    for (auto& [hash, shingle] : windows)
        shingles.push_back(shingle);
    return expectedFingerprint(shingles);
}

TEST(HRNMurmurHash3, PublishedVectors) {
    struct Case {
        const char* text;
        uint32_t seed;
        uint32_t hash;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"", 1, 0x514E28B7},
        {"", 0xffffffff, 0x81F16F39},
        {"aaaa", 0x9747b28c, 0x5A97808A},
        {"aaa", 0x9747b28c, 0x283E0130},
        {"aa", 0x9747b28c, 0x5D211726},
        {"a", 0x9747b28c, 0x7FA09EA6},
        {"abc", 0x9747b28c, 0xC84A62DD},
        {"Hello, world!", 0x9747b28c, 0x24884CBA},
        {"The quick brown fox jumps over the lazy dog", 0x9747b28c, 0x2FA826CD},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HRNMurmurHash3(c.text, std::strlen(c.text), c.seed), c.hash) << c.text;
    const uint8_t zeros[4] = {0, 0, 0, 0};
    EXPECT_EQ(HRNMurmurHash3(zeros, 4, 0), 0x2362F9DEu);
}

TEST(HRNContent, TokensSplitWordsAndStandAloneIdeographs) {
    const std::pair<std::string, Tokens> cases[] = {
        {"ab-cd", {"ab", "cd"}},
        {"ab中cd", {"ab", "中", "cd"}},
        {"买房子", {"买", "房", "子"}},
        {"  hello,   world 42 ", {"hello", "world", "42"}},
        {"café", {"café"}},   // a letter with its accent stays in the word
        {"x😀y", {"x", "y"}},  // a surrogate pair separates
        {"カタカナー", {"カ", "タ", "カ", "ナ", "ー"}},
        {"", {}},
    };
    for (const auto& [text, tokens] : cases)
        EXPECT_EQ(HRNContent::tokensFromParagraph(text), tokens) << text;
}

TEST(HRNContent, TokenValueReadsTheHashAsSigned) {
    // (2^31 - 1 + s) mod M with s the signed hash.
    const std::string token = "hello";
    const auto s = static_cast<int32_t>(HRNMurmurHash3(token.data(), token.size(), 0));
    EXPECT_EQ(HRNContent::tokenValue(token),
              static_cast<uint64_t>(int64_t{2147483647} + s) % HRNContent::kModulus);
}

TEST(HRNContent, ParagraphsShorterThanTheMinimumAreIgnored) {
    HRNContent content(1);
    content.updateContentWithText("");
    content.updateContentWithText("abcde\nfghij");  // 5 units each
    EXPECT_EQ(content.score(), 1);                  // the walk's age alone
    EXPECT_EQ(content.fingerprint(), "");

    content.updateContentWithText("abcdef\nxy");  // 6 units count, 2 do not
    EXPECT_EQ(content.score(), 6 + 1);
    EXPECT_EQ(content.fingerprint(), expectedFingerprint({{"abcdef"}}));

    // Six units of text, not six bytes: two ideographs and four letters.
    HRNContent cjk(1);
    cjk.updateContentWithText("买房abcd");
    EXPECT_EQ(cjk.score(), 6 + 1);
}

TEST(HRNContent, ShinglesCoverEveryWindowOfSixTokens) {
    const std::vector<Tokens> cases = {
        {"one", "two", "three"},
        {"one", "two", "three", "four", "five", "six"},
        {"one", "two", "three", "four", "five", "six", "seven", "eight"},
    };
    for (const Tokens& tokens : cases) {
        HRNContent content(1);
        std::string text;
        for (const std::string& token : tokens)
            text += token + " ";
        content.updateContentWithText(text);
        EXPECT_EQ(content.fingerprint(), fingerprintOfWindows(tokens, 6)) << text;
    }
    HRNContent eight(1);
    eight.updateContentWithText("one two three four five six seven eight");
    EXPECT_EQ(eight.fingerprint().size(), 16u);  // 3 shingles, 12 bytes
}

TEST(HRNContent, TheHeapKeepsTheLargestHashesAndFingerprintsAreCaseBlind) {
    // 30 tokens give 25 windows; ten are kept, 40 bytes in 56 characters.
    Tokens tokens;
    std::string text;
    for (int i = 0; i < 30; ++i) {
        tokens.push_back("w" + std::to_string(i));
        text += "W" + std::to_string(i) + " ";
    }
    HRNContent content(1);
    content.updateContentWithText(text);
    ASSERT_EQ(content.fingerprint().size(), 56u);

    std::vector<std::pair<uint64_t, Tokens>> windows;
    for (size_t i = 0; i + 6 <= tokens.size(); ++i)
        windows.emplace_back(directHash(tokens, i, 6),
                             Tokens(tokens.begin() + i, tokens.begin() + i + 6));
    std::sort(windows.begin(), windows.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Tokens> kept;
    for (size_t i = windows.size() - 10; i < windows.size(); ++i)
        kept.push_back(windows[i].second);
    EXPECT_EQ(content.fingerprint(), expectedFingerprint(kept));
}

TEST(HRNContent, HeapOffersAreFilteredByCountHashAndEquality) {
    platform::UserDefaults::standard().set(HRNSettingKey("maximum_shingle_count"), "2");
    HRNContent content(1);
    content.updateHeapWithHash(50, {"a", "b"});
    content.updateHeapWithHash(50, {"c", "d"});  // equal by count and hash: not added
    EXPECT_EQ(content.shingleHash(), expectedFingerprint({{"a", "b"}}));
    content.updateHeapWithHash(10, {"e"});  // shorter shingles order first
    EXPECT_EQ(content.shingleHash(), expectedFingerprint({{"e"}, {"a", "b"}}));
    content.updateHeapWithHash(5, {"f", "g"});  // full, and not above the minimum's hash
    EXPECT_EQ(content.shingleHash(), expectedFingerprint({{"e"}, {"a", "b"}}));
    content.updateHeapWithHash(70, {"h", "i"});  // pushes out the minimum
    EXPECT_EQ(content.shingleHash(), expectedFingerprint({{"a", "b"}, {"h", "i"}}));
}

TEST(HRNContent, ScoreRisesOnlyWithNewParagraphsAndAgeBreaksTies) {
    HRNContent content(3);
    content.updateContentWithText("the first paragraph");
    const std::string first = content.fingerprint();
    EXPECT_EQ(content.score(), 19 + 3);
    content.updateContentWithText("tiny");  // adds no kept paragraph: stops at the score
    EXPECT_EQ(content.score(), 19 + 3);
    EXPECT_EQ(content.fingerprint(), first);
    content.updateContentWithText("another paragraph");
    EXPECT_EQ(content.score(), 19 + 17 + 3);
    EXPECT_NE(content.fingerprint(), first);

    HRNContent later(4);
    later.updateContentWithText("the first paragraph");
    EXPECT_EQ(later.fingerprint(), first);
    EXPECT_EQ(later.score(), 19 + 4);

    setSetting("content_length_weight", "10");
    setSetting("content_age_weight", "0");
    HRNContent weighted(9);
    weighted.updateContentWithText("the first paragraph");
    EXPECT_EQ(weighted.score(), 190);
}

std::shared_ptr<HRNContent> contentWithText(uint64_t walk, const std::string& text) {
    auto content = std::make_shared<HRNContent>(walk);
    content->updateContentWithText(text);
    return content;
}

TEST(HRNContentQueue, KeepsTheNewestOfEqualScreensAndDropsTheOldestWhenFull) {
    HRNContentQueue queue(10);
    queue.enqueueContent(nullptr);
    for (uint64_t walk = 1; walk <= 11; ++walk) {
        // Each token is folded to one byte: three different tokens keep screens apart.
        auto content = contentWithText(walk, "screen " + std::to_string(walk) + " page " +
                                                 std::to_string(walk + 100) + " line " +
                                                 std::to_string(walk + 200));
        queue.deduplicate(content);
        queue.enqueueContent(content);
    }
    ASSERT_EQ(queue.sequenceNumbers().size(), 10u);
    EXPECT_EQ(queue.sequenceNumbers().front(), 2u);
    EXPECT_EQ(queue.contentWithSequenceNumber(1), nullptr);

    auto again = contentWithText(12, "screen 5 page 105 line 205");
    queue.deduplicate(again);
    queue.enqueueContent(again);
    EXPECT_EQ(queue.contentWithSequenceNumber(5), nullptr);
    EXPECT_EQ(queue.sequenceNumbers().back(), 12u);
    EXPECT_EQ(queue.sequenceNumbers().size(), 10u);

    HRNContentQueue none(0);
    none.enqueueContent(again);
    EXPECT_TRUE(none.sequenceNumbers().empty());
    EXPECT_EQ(none.contentWithHighestScore(), nullptr);
}

TEST(HRNContentQueue, ServingCostsAPenaltyUntilTheScoreIsUsedUp) {
    setSetting("content_length_weight", "0");
    setSetting("content_age_weight", "250");
    HRNContentQueue queue(10);
    auto best = contentWithText(1, "a screen with a score of 250");
    ASSERT_EQ(best->score(), 250);
    queue.enqueueContent(best);
    std::vector<int64_t> served;
    while (auto content = queue.contentWithHighestScore()) {
        served.push_back(content->score());
        content->deductServedPenalty();
    }
    EXPECT_EQ(served, (std::vector<int64_t>{250, 150, 50}));

    // Among equal scores the oldest wins; a served one lets the next take over.
    setSetting("content_age_weight", "0");
    setSetting("content_length_weight", "1");
    HRNContentQueue two(10);
    auto older = contentWithText(1, "twelve chars");
    auto newer = contentWithText(2, "twelve-chars");
    two.enqueueContent(older);
    two.enqueueContent(newer);
    EXPECT_EQ(two.contentWithHighestScore(), older);
    older->deductServedPenalty();
    EXPECT_EQ(two.contentWithHighestScore(), newer);
}

TEST(HRNCharacterSets, RangeSettingsReplaceTheDefaultsOrFallBack) {
    auto sets = HRNCharacterSets::sharedInstance();
    EXPECT_TRUE(sets->characterDelimitedSet().contains(u'中'));
    EXPECT_TRUE(sets->characterDelimitedSet().contains(u'ー'));
    EXPECT_FALSE(sets->characterDelimitedSet().contains(u'a'));
    EXPECT_TRUE(sets->spaceDelimitedSet().contains(u'a'));
    EXPECT_TRUE(sets->spaceDelimitedSet().contains(u'7'));
    EXPECT_TRUE(sets->spaceDelimitedSet().contains(u'\u0301'));  // a combining mark
    EXPECT_FALSE(sets->spaceDelimitedSet().contains(u'-'));

    // Letters delimited by themselves, digits the only word characters.
    setSetting("character_delimited_unicode_range", "[[97, 26]]");
    setSetting("space_delimited_unicode_range", "[[48, 10]]");
    sets->updateCharacterSets();
    EXPECT_EQ(HRNContent::tokensFromParagraph("ab12中"), (Tokens{"a", "b", "12"}));

    // An empty array is an empty set; a malformed one gives the default.
    setSetting("character_delimited_unicode_range", "[]");
    setSetting("space_delimited_unicode_range", "[[48]]");
    sets->updateCharacterSets();
    EXPECT_FALSE(sets->characterDelimitedSet().contains(u'中'));
    EXPECT_EQ(HRNContent::tokensFromParagraph("ab 中文"), (Tokens{"ab", "中文"}));

    // An absent setting keeps the set in place.
    setSetting("space_delimited_unicode_range", "[[48, 10]]");
    sets->updateCharacterSets();
    platform::UserDefaults::standard().remove(HRNSettingKey("space_delimited_unicode_range"));
    sets->updateCharacterSets();
    EXPECT_FALSE(sets->spaceDelimitedSet().contains(u'a'));
    EXPECT_TRUE(sets->spaceDelimitedSet().contains(u'5'));
}

TEST(HRNCharacterSets, MalformedRangeTexts) {
    const char* malformed[] = {"[[48]]",   "[[48, 10], [1]]", "[[48, \"10\"]]", "{}",
                               "[48, 10]", "[[48, 10, 1]]",   "not json",       "[[-1, 5]]"};
    for (const char* text : malformed)
        EXPECT_FALSE(HRNCharacterSets::setFromRangeJSON(text).has_value()) << text;
    auto set = HRNCharacterSets::setFromRangeJSON("[[65, 2], [1e20, 1e20]]");
    ASSERT_TRUE(set.has_value());
    EXPECT_TRUE(set->contains(u'A'));
    EXPECT_TRUE(set->contains(u'B'));
    EXPECT_FALSE(set->contains(u'C'));
}

}  // namespace
