#pragma once
// HRNContent: the text of one walk over the app's screen, reduced to a score and a fingerprint.
// Each text the walk reads is split into paragraphs; paragraphs long enough to count add to the
// score, and their words (tokens) are cut into shingles of `shingleLength` consecutive tokens.
// The shingles with the largest rolling hashes are kept in a bounded heap, and the fingerprint
// is the web-safe Base64 of the first 4 MD5 bytes of each kept shingle: the same text gives the
// same fingerprint, and the text itself never leaves the device.
//
// HRNShingleHashTuple is one heap entry. Both are confined to the content-hashing queue (not
// locked); the tokenizer reads the shared HRNCharacterSets.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ads/foundation/HRNBinaryHeap.h"

class HRNShingleHashTuple {
  public:
    HRNShingleHashTuple(std::vector<std::string> shingle, uint64_t hashValue)
        : shingle_(std::move(shingle)), hashValue_(hashValue) {}

    const std::vector<std::string>& shingle() const { return shingle_; }
    uint64_t hashValue() const { return hashValue_; }

    // The heap's order: the number of tokens, then the hash, both ascending; 0 when both agree.
    static int compare(const std::shared_ptr<HRNShingleHashTuple>& a,
                       const std::shared_ptr<HRNShingleHashTuple>& b);

  private:
    std::vector<std::string> shingle_;
    uint64_t hashValue_;
};

class HRNContent {
  public:
    static constexpr uint64_t kModulus = 0x4000FFFF;
    static constexpr uint64_t kBase = 0x1001FFF;
    static constexpr int64_t kServedPenalty = 100;

    // A new content of walk `sequenceNumber`, its weights and limits read from the settings
    // ("content_age_weight", "content_length_weight", "maximum_shingle_count",
    // "minimum_paragraph_length", "shingle_length").
    explicit HRNContent(uint64_t sequenceNumber);

    // Adds one view's text (see the class comment); an empty text, or one that does not raise
    // the score, changes nothing.
    void updateContentWithText(const std::string& text);
    void selectShinglesFromTokens(const std::vector<std::string>& tokens);
    void applyRollingHashToTokens(const std::vector<std::string>& tokens, uint64_t baseHash);
    void updateHeapWithHash(uint64_t hash, const std::vector<std::string>& shingle);
    // The fingerprint of the heap as it is: "" when empty.
    std::string shingleHash() const;
    void deductServedPenalty() { score_ -= kServedPenalty; }

    const std::string& fingerprint() const { return fingerprint_; }
    int64_t score() const { return score_; }
    uint64_t sequenceNumber() const { return sequenceNumber_; }

    // The tokens of one (already lower-cased) paragraph with the shared character sets:
    // a character-delimited unit is a token of its own, a run of space-delimited units is a
    // token, any other unit separates.
    static std::vector<std::string> tokensFromParagraph(const std::string& paragraph);
    // (2^31 - 1 + MurmurHash3 of the token's UTF-8 bytes read as signed) mod kModulus.
    static uint64_t tokenValue(const std::string& token);

  private:
    int64_t contentAgeWeight_;
    int64_t contentLengthWeight_;
    uint64_t contentTotalLength_ = 0;
    HRNBinaryHeap<std::shared_ptr<HRNShingleHashTuple>> heap_;
    uint64_t maximumShingleCount_;
    uint64_t minimumParagraphLength_;
    uint64_t shingleLength_;
    std::string fingerprint_;
    int64_t score_ = 0;
    uint64_t sequenceNumber_;
};
