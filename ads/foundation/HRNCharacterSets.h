#pragma once
// HRNCharacterSets: the content tokenizer's two character classes. The character-delimited set
// holds the scripts written without spaces (CJK, kana, Hangul): each such character is a token
// by itself. The space-delimited set holds the characters that make up words of the other
// scripts (letters, marks and digits). The ad server may replace either through the settings
// "character_delimited_unicode_range" and "space_delimited_unicode_range" (JSON arrays of
// [location, length] pairs); a malformed setting falls back to the default set, an absent one
// keeps the set in place.
//
// Threading: one shared instance, made once on first use from any thread. The sets live on the
// instance's serial queue: updateCharacterSets() reads the settings on the calling thread and
// swaps the sets asynchronously on that queue; the getters read synchronously on it and hand
// out copies, so a reader sees every update queued before its read.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
class Queue;
}

// A set of UTF-16 code units (the tokenizer tests units one at a time, so a character outside
// the Basic Multilingual Plane never matches, whatever the ranges say). Immutable and cheap to
// copy.
class HRNCharacterSet {
  public:
    // The empty set.
    HRNCharacterSet();
    // The code points location ... location + length - 1 of every range.
    static HRNCharacterSet withRanges(const std::vector<std::pair<uint64_t, uint64_t>>& ranges);
    // Letters, marks and digits (Unicode categories L, M and N).
    static HRNCharacterSet alphanumeric();

    bool contains(char16_t unit) const { return (*bits_)[unit]; }

  private:
    explicit HRNCharacterSet(std::shared_ptr<const std::vector<bool>> bits)
        : bits_(std::move(bits)) {}
    std::shared_ptr<const std::vector<bool>> bits_;  // 65536 entries
};

class HRNCharacterSets {
  public:
    static std::shared_ptr<HRNCharacterSets> sharedInstance();

    HRNCharacterSet characterDelimitedSet() const;
    HRNCharacterSet spaceDelimitedSet() const;

    // Re-reads both settings (also called after the ad server's constants are stored).
    void updateCharacterSets();

    // The set a range setting's JSON text describes: an array whose every element is an array
    // of exactly two non-negative numbers; std::nullopt for any other shape or a JSON error.
    static std::optional<HRNCharacterSet> setFromRangeJSON(std::string_view text);

    HRNCharacterSets(const HRNCharacterSets&) = delete;
    HRNCharacterSets& operator=(const HRNCharacterSets&) = delete;

  private:
    HRNCharacterSets();

    std::shared_ptr<platform::Queue> lockQueue_;
    std::optional<HRNCharacterSet> characterDelimitedSet_;  // on lockQueue_
    std::optional<HRNCharacterSet> spaceDelimitedSet_;      // on lockQueue_
};
