#pragma once
// Number reading and the game's random draw, shared by every rule of the model.
//
// Texts are parsed the lenient way the game always has: leading blanks are skipped, an optional
// sign is taken, then digits up to the first non-digit; a text without digits reads as 0 and a
// value beyond the type's range reads as the nearest bound.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace qen {

// Leading decimal integer of `text`, saturating at the bounds of int64_t.
inline int64_t longLongValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    // Accumulate toward the sign so that the lowest value needs no special case.
    int64_t value = 0;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (negative) {
            if (value < (kMin + digit) / 10) return kMin;
            value = value * 10 - digit;
        } else {
            if (value > (kMax - digit) / 10) return kMax;
            value = value * 10 + digit;
        }
    }
    return value;
}

// Leading decimal integer of `text`, saturating at the bounds of int32_t.
inline int32_t intValue(std::string_view text) {
    const int64_t v = longLongValue(text);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// One draw of the game's random sequence: rand() / 2^31, in [0, 1).
inline double randomUnit() {
    return std::rand() / 2147483648.0;
}

// A 64-bit amount clamped into the 32-bit range, for values stored as "%d".
inline int32_t clampToInt(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// value x factor as a double, truncated toward zero, kept inside the 64-bit range.
inline int64_t scaled(int64_t value, double factor) {
    const double v = static_cast<double>(value) * factor;
    if (v >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (v <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

// value x numerator / denominator, exactly, truncated toward zero and kept inside the 64-bit
// range. Used for the fixed rates (1.01 is 101 / 100), where a double product would drop a
// yuan from round amounts (200 x 1.005 is 200.99999... in binary).
inline int64_t multiplyTruncated(int64_t value, int64_t numerator, int64_t denominator) {
    const __int128 v = static_cast<__int128>(value) * numerator / denominator;
    if (v > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
    if (v < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

}  // namespace qen
