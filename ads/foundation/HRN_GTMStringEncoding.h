#pragma once
// A text encoder for any alphabet of 2^n ASCII characters (binary, hex, base32, base64 and
// their variants): bytes become characters of n bits each, most significant bits first. Used
// for identifiers and tokens that travel in URLs and settings.
//
// Set up an encoder (synonyms, ignored characters, padding) before sharing it; after that,
// encode and decode only read it and may run on any thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

class HRN_GTMStringEncoding {
  public:
    // An encoder for the alphabet: ASCII, 2 to 128 characters, a power of two, no character
    // twice; nullptr otherwise. Padding is off.
    static std::shared_ptr<HRN_GTMStringEncoding> stringEncodingWithString(
        std::string_view alphabet);

    static std::shared_ptr<HRN_GTMStringEncoding> binaryStringEncoding();
    static std::shared_ptr<HRN_GTMStringEncoding> hexStringEncoding();
    static std::shared_ptr<HRN_GTMStringEncoding> rfc4648Base32StringEncoding();
    static std::shared_ptr<HRN_GTMStringEncoding> rfc4648Base32HexStringEncoding();
    static std::shared_ptr<HRN_GTMStringEncoding> crockfordBase32StringEncoding();
    static std::shared_ptr<HRN_GTMStringEncoding> rfc4648Base64StringEncoding();
    static std::shared_ptr<HRN_GTMStringEncoding> rfc4648Base64WebsafeStringEncoding();

    // Read in groups: a character that already has a value starts a group, and each following
    // character that has none yet decodes to that value.
    void addDecodeSynonyms(std::string_view synonyms);
    // Characters skipped when decoding.
    void ignoreCharacters(std::string_view characters);
    bool doPad() const { return doPad_; }
    void setDoPad(bool doPad) { doPad_ = doPad; }
    // Pads with this character and accepts it as padding when decoding.
    void setPaddingChar(char c);

    // ceil(8 * size / n) characters, rounded up to whole bytes' worth with padding when on.
    std::string encode(const platform::Data& data) const;
    std::string encodeString(std::string_view text) const;
    // std::nullopt for non-ASCII text, a character outside the alphabet, data after padding,
    // or left-over bits that are not zero.
    std::optional<platform::Data> decode(std::string_view text) const;
    // The decoded bytes as text; std::nullopt also when they are not UTF-8.
    std::optional<std::string> stringByDecoding(std::string_view text) const;

    // "<Base64 StringEncoder: <41424344 ...>>"
    std::string description() const;

  private:
    static constexpr int kInvalid = -1;
    static constexpr int kPadding = -2;
    static constexpr int kIgnored = -3;

    explicit HRN_GTMStringEncoding(std::string_view alphabet, int shift);
    static std::shared_ptr<HRN_GTMStringEncoding> padded(std::string_view alphabet);

    std::string charMapData_;
    int32_t reverseCharMap_[128];
    int shift_;
    int mask_;
    bool doPad_ = false;
    char paddingChar_ = '=';
    int padLen_;
};
