#include "ads/foundation/HRNContent.h"

#include <glib.h>

#include <cstdlib>
#include <optional>

#include "ads/foundation/HRNCharacterSets.h"
#include "ads/foundation/HRNMurmurHash3.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRN_GTMStringEncoding.h"
#include "platform/security/Digest.h"

namespace {

// A setting as an integer: a number, or a text that begins with one.
std::optional<int64_t> integerSetting(std::string_view name) {
    auto value = HRNSettingValue(name);
    if (!value) return std::nullopt;
    if (value->isNumber()) return value->asInteger();
    if (const std::string* text = value->string()) {
        const char* start = text->c_str();
        char* end = nullptr;
        const long long number = std::strtoll(start, &end, 10);
        if (end != start) return number;
    }
    return std::nullopt;
}

// Limits must be positive: a shingle of no tokens has no hash, and a zero count keeps nothing.
uint64_t positiveSetting(std::string_view name, uint64_t fallback) {
    auto number = integerSetting(name);
    return number && *number > 0 ? static_cast<uint64_t>(*number) : fallback;
}

std::u16string toUTF16(const std::string& text) {
    std::u16string out;
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    glong written = 0;
    gunichar2* units = g_utf8_to_utf16(valid, -1, nullptr, &written, nullptr);
    if (units) out.assign(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(written));
    g_free(units);
    g_free(valid);
    return out;
}

// UTF-16 units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUTF8(std::u16string_view units) {
    std::string out;
    auto append = [&out](uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            append(0x10000 + ((uint32_t(u) - 0xD800) << 10) + (uint32_t(units[i + 1]) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            append(0xFFFD);
        } else {
            append(u);
        }
    }
    return out;
}

std::string lowercased(const std::string& text) {
    gchar* lower = g_utf8_strdown(text.data(), static_cast<gssize>(text.size()));
    std::string out(lower);
    g_free(lower);
    return out;
}

uint64_t mulMod(uint64_t a, uint64_t b) {
    return (a % HRNContent::kModulus) * (b % HRNContent::kModulus) % HRNContent::kModulus;
}

uint64_t powerMod(uint64_t base, uint64_t exponent) {
    uint64_t result = 1;
    base %= HRNContent::kModulus;
    while (exponent > 0) {
        if (exponent & 1) result = mulMod(result, base);
        base = mulMod(base, base);
        exponent >>= 1;
    }
    return result;
}

}  // namespace

int HRNShingleHashTuple::compare(const std::shared_ptr<HRNShingleHashTuple>& a,
                                 const std::shared_ptr<HRNShingleHashTuple>& b) {
    const size_t na = a->shingle().size();
    const size_t nb = b->shingle().size();
    if (na != nb) return na < nb ? -1 : 1;
    if (a->hashValue() != b->hashValue()) return a->hashValue() < b->hashValue() ? -1 : 1;
    return 0;
}

HRNContent::HRNContent(uint64_t sequenceNumber)
    : contentAgeWeight_(integerSetting("content_age_weight").value_or(1)),
      contentLengthWeight_(integerSetting("content_length_weight").value_or(1)),
      heap_(HRNShingleHashTuple::compare),
      maximumShingleCount_(positiveSetting("maximum_shingle_count", 10)),
      minimumParagraphLength_(positiveSetting("minimum_paragraph_length", 6)),
      shingleLength_(positiveSetting("shingle_length", 6)),
      sequenceNumber_(sequenceNumber) {}

std::vector<std::string> HRNContent::tokensFromParagraph(const std::string& paragraph) {
    auto sets = HRNCharacterSets::sharedInstance();
    const HRNCharacterSet delimited = sets->characterDelimitedSet();
    const HRNCharacterSet spaced = sets->spaceDelimitedSet();
    const std::u16string units = toUTF16(paragraph);
    std::vector<std::string> tokens;
    std::u16string current;
    auto emit = [&] {
        if (!current.empty()) tokens.push_back(toUTF8(current));
        current.clear();
    };
    for (char16_t unit : units) {
        if (delimited.contains(unit)) {
            emit();
            tokens.push_back(toUTF8(std::u16string_view(&unit, 1)));
        } else if (spaced.contains(unit)) {
            current += unit;
        } else {
            emit();
        }
    }
    emit();
    return tokens;
}

uint64_t HRNContent::tokenValue(const std::string& token) {
    const auto s = static_cast<int32_t>(HRNMurmurHash3(token.data(), token.size(), 0));
    const uint64_t sum = uint64_t{2147483647} + static_cast<uint64_t>(int64_t{s});
    return sum % kModulus;
}

void HRNContent::updateContentWithText(const std::string& text) {
    if (text.empty()) return;
    std::vector<std::string> kept;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string paragraph = text.substr(start, end - start);
        const uint64_t length = toUTF16(paragraph).size();
        if (length >= minimumParagraphLength_) {
            contentTotalLength_ += length;
            kept.push_back(std::move(paragraph));
        }
        start = end + 1;
    }

    const uint64_t candidate = static_cast<uint64_t>(contentLengthWeight_) * contentTotalLength_ +
                               static_cast<uint64_t>(contentAgeWeight_) * sequenceNumber_;
    if (candidate <= static_cast<uint64_t>(score_)) return;
    score_ = static_cast<int64_t>(candidate);
    for (const std::string& paragraph : kept)
        selectShinglesFromTokens(tokensFromParagraph(lowercased(paragraph)));
    fingerprint_ = shingleHash();
}

void HRNContent::selectShinglesFromTokens(const std::vector<std::string>& tokens) {
    const size_t n = tokens.size();
    if (n == 0) return;
    const size_t k = std::min<uint64_t>(shingleLength_, n);
    uint64_t hash = tokenValue(tokens[0]);
    for (size_t i = 1; i < k; ++i) {
        hash = mulMod(hash, kBase);
        hash = (hash + tokenValue(tokens[i])) % kModulus;
    }
    updateHeapWithHash(hash, std::vector<std::string>(tokens.begin(), tokens.begin() + k));
    if (n > shingleLength_) applyRollingHashToTokens(tokens, hash);
}

void HRNContent::applyRollingHashToTokens(const std::vector<std::string>& tokens,
                                          uint64_t baseHash) {
    const size_t n = tokens.size();
    const uint64_t L = shingleLength_;
    if (L == 0 || n < L) return;
    const uint64_t power = powerMod(kBase, L - 1);
    uint64_t hash = baseHash;
    for (size_t i = 0; i + L < n; ++i) {
        const uint64_t leaving = mulMod(tokenValue(tokens[i]), power);
        const uint64_t rest = (hash % kModulus + kModulus - leaving) % kModulus;
        hash = (tokenValue(tokens[i + L]) + mulMod(rest, kBase)) % kModulus;
        updateHeapWithHash(
            hash, std::vector<std::string>(tokens.begin() + i + 1, tokens.begin() + i + 1 + L));
    }
}

void HRNContent::updateHeapWithHash(uint64_t hash, const std::vector<std::string>& shingle) {
    if (heap_.count() >= maximumShingleCount_) {
        auto minimum = heap_.minimum();
        if (minimum && (*minimum)->hashValue() >= hash) return;
    }
    auto tuple = std::make_shared<HRNShingleHashTuple>(shingle, hash);
    if (heap_.containsObject(tuple)) return;
    heap_.addObject(tuple);
    if (heap_.count() > maximumShingleCount_) heap_.removedMinimum();
}

std::string HRNContent::shingleHash() const {
    auto sorted = heap_.sortedObjects();
    if (!sorted) return "";
    platform::Data output;
    for (const auto& tuple : *sorted) {
        std::string bytes;
        for (const std::string& token : tuple->shingle()) {
            const uint32_t m = HRNMurmurHash3(token.data(), token.size(), 0);
            bytes += static_cast<char>((m ^ (m >> 8) ^ (m >> 16) ^ (m >> 24)) & 0xFF);
        }
        const platform::Data digest = platform::security::md5(bytes);
        output.append(digest.data(), 4);
    }
    static const auto encoding = HRN_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding();
    return encoding->encode(output);
}
