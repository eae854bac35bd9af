#include "ads/foundation/HRN_GTMStringEncoding.h"

#include <numeric>

#include "platform/foundation/Text.h"

namespace {

bool isASCII(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

HRN_GTMStringEncoding::HRN_GTMStringEncoding(std::string_view alphabet, int shift)
    : charMapData_(alphabet), shift_(shift), mask_((1 << shift) - 1) {
    padLen_ = 8 / std::gcd(8, shift);
    for (int32_t& v : reverseCharMap_)
        v = kInvalid;
    for (size_t i = 0; i < alphabet.size(); ++i)
        reverseCharMap_[static_cast<unsigned char>(alphabet[i])] = static_cast<int32_t>(i);
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::stringEncodingWithString(
    std::string_view alphabet) {
    if (!isASCII(alphabet)) return nullptr;
    size_t length = alphabet.size();
    if (length < 2 || length > 128 || (length & (length - 1)) != 0) return nullptr;
    bool seen[128] = {};
    for (char c : alphabet) {
        if (seen[static_cast<unsigned char>(c)]) return nullptr;
        seen[static_cast<unsigned char>(c)] = true;
    }
    int shift = 0;
    while ((size_t{1} << shift) < length)
        ++shift;
    return std::shared_ptr<HRN_GTMStringEncoding>(new HRN_GTMStringEncoding(alphabet, shift));
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::padded(std::string_view alphabet) {
    auto encoding = stringEncodingWithString(alphabet);
    encoding->setDoPad(true);
    encoding->setPaddingChar('=');
    return encoding;
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::binaryStringEncoding() {
    return stringEncodingWithString("01");
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::hexStringEncoding() {
    auto encoding = stringEncodingWithString("0123456789ABCDEF");
    encoding->addDecodeSynonyms("AaBbCcDdEeFf");
    return encoding;
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::rfc4648Base32StringEncoding() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::rfc4648Base32HexStringEncoding() {
    return padded("0123456789ABCDEFGHIJKLMNOPQRSTUV");
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::crockfordBase32StringEncoding() {
    auto encoding = stringEncodingWithString("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
    encoding->addDecodeSynonyms("0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz");
    return encoding;
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::rfc4648Base64StringEncoding() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

std::shared_ptr<HRN_GTMStringEncoding> HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
}

void HRN_GTMStringEncoding::addDecodeSynonyms(std::string_view synonyms) {
    std::optional<int32_t> groupValue;
    for (char ch : synonyms) {
        auto c = static_cast<unsigned char>(ch);
        if (c >= 128) continue;
        if (reverseCharMap_[c] >= 0)
            groupValue = reverseCharMap_[c];
        else if (reverseCharMap_[c] == kInvalid && groupValue)
            reverseCharMap_[c] = *groupValue;
    }
}

void HRN_GTMStringEncoding::ignoreCharacters(std::string_view characters) {
    for (char ch : characters) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 128) reverseCharMap_[c] = kIgnored;
    }
}

void HRN_GTMStringEncoding::setPaddingChar(char c) {
    paddingChar_ = c;
    if (static_cast<unsigned char>(c) < 128)
        reverseCharMap_[static_cast<unsigned char>(c)] = kPadding;
}

std::string HRN_GTMStringEncoding::encode(const platform::Data& data) const {
    std::string out;
    if (data.empty()) return out;
    const size_t bits = data.size() * 8;
    out.reserve((bits + shift_ - 1) / shift_ + padLen_);
    uint32_t buffer = 0;
    int bitsLeft = 0;
    for (uint8_t byte : data.bytes()) {
        buffer = (buffer << 8) | byte;
        bitsLeft += 8;
        while (bitsLeft >= shift_) {
            bitsLeft -= shift_;
            out += charMapData_[(buffer >> bitsLeft) & mask_];
        }
        buffer &= (1u << bitsLeft) - 1;
    }
    if (bitsLeft > 0) out += charMapData_[(buffer << (shift_ - bitsLeft)) & mask_];
    if (doPad_) {
        while (out.size() % padLen_ != 0)
            out += paddingChar_;
    }
    return out;
}

std::string HRN_GTMStringEncoding::encodeString(std::string_view text) const {
    return encode(platform::Data::fromString(text));
}

std::optional<platform::Data> HRN_GTMStringEncoding::decode(std::string_view text) const {
    if (!isASCII(text)) return std::nullopt;
    platform::Data out;
    out.bytes().reserve(text.size() * shift_ / 8 + 1);
    uint32_t buffer = 0;
    int bitsLeft = 0;
    bool sawPadding = false;
    for (char ch : text) {
        int32_t value = reverseCharMap_[static_cast<unsigned char>(ch)];
        if (value == kIgnored) continue;
        if (value == kInvalid) return std::nullopt;
        if (value == kPadding) {
            sawPadding = true;
            continue;
        }
        if (sawPadding) return std::nullopt;
        buffer = (buffer << shift_) | static_cast<uint32_t>(value);
        bitsLeft += shift_;
        if (bitsLeft >= 8) {
            bitsLeft -= 8;
            out.bytes().push_back(static_cast<uint8_t>(buffer >> bitsLeft));
            buffer &= (1u << bitsLeft) - 1;
        }
    }
    if (buffer != 0) return std::nullopt;  // left-over bits must be zero
    return out;
}

std::optional<std::string> HRN_GTMStringEncoding::stringByDecoding(std::string_view text) const {
    auto data = decode(text);
    if (!data) return std::nullopt;
    std::string decoded = data->toString();
    if (!platform::isValidUTF8(decoded)) return std::nullopt;
    return decoded;
}

std::string HRN_GTMStringEncoding::description() const {
    static const char* digits = "0123456789abcdef";
    std::string bytes;
    for (size_t i = 0; i < charMapData_.size(); ++i) {
        if (i && i % 4 == 0) bytes += ' ';
        auto c = static_cast<unsigned char>(charMapData_[i]);
        bytes += digits[c >> 4];
        bytes += digits[c & 15];
    }
    return "<Base" + std::to_string(1 << shift_) + " StringEncoder: <" + bytes + ">>";
}
