// Scrambling of numeric texts. A scrambled form is the clear body (text, checksum text, one
// character holding the checksum's length) with each byte shifted by a row of the key table,
// followed by the marker byte of that row. The tables are fixed for the life of the stored
// files: a file scrambled with one table cannot be read with another.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "game/model/QenBytes.h"
#include "game/model/QenData.h"
#include "game/model/QenNumbers.h"
#include "platform/foundation/Log.h"

namespace {

constexpr int kKeyTypes = 22;
constexpr int kKeyWidth = 12;

// Every offset lies in 1..127, so a body of bytes below 128 never forms a zero byte under any
// row; within each column the rows differ, so one byte can block at most one row.
constexpr int32_t kOffsets[kKeyTypes][kKeyWidth] = {
    {5, 98, 21, 68, 74, 90, 52, 74, 121, 33, 36, 121},
    {37, 26, 2, 99, 5, 117, 23, 108, 114, 58, 9, 83},
    {112, 69, 8, 49, 75, 7, 113, 43, 44, 36, 111, 103},
    {121, 104, 120, 2, 34, 66, 22, 32, 46, 74, 61, 41},
    {120, 81, 54, 34, 109, 9, 103, 75, 81, 96, 29, 23},
    {118, 75, 39, 103, 126, 30, 9, 97, 64, 125, 91, 85},
    {36, 110, 12, 16, 49, 61, 61, 67, 40, 37, 35, 19},
    {25, 116, 34, 18, 16, 59, 106, 54, 105, 117, 103, 47},
    {124, 38, 55, 70, 77, 5, 120, 78, 10, 43, 2, 1},
    {84, 121, 26, 109, 65, 73, 105, 105, 107, 34, 16, 88},
    {110, 108, 10, 24, 54, 50, 99, 111, 7, 118, 88, 104},
    {72, 109, 83, 8, 41, 18, 97, 16, 96, 76, 48, 32},
    {57, 7, 116, 113, 66, 57, 20, 102, 111, 21, 62, 115},
    {81, 123, 56, 77, 22, 121, 1, 86, 86, 79, 106, 127},
    {39, 5, 117, 65, 3, 81, 109, 80, 74, 15, 121, 17},
    {28, 96, 101, 124, 78, 96, 13, 59, 84, 28, 38, 70},
    {109, 48, 13, 10, 56, 112, 57, 4, 6, 60, 21, 59},
    {77, 21, 18, 47, 82, 109, 124, 31, 59, 127, 72, 77},
    {117, 125, 19, 75, 43, 70, 93, 41, 108, 70, 112, 4},
    {13, 100, 104, 9, 73, 22, 116, 5, 122, 69, 32, 38},
    {115, 4, 27, 64, 115, 34, 60, 51, 48, 18, 43, 79},
    {42, 91, 57, 42, 91, 93, 107, 119, 70, 82, 94, 69},
};

// One marker per row: distinct, never zero, never a digit or '-', so a plain number that was
// never scrambled is never taken for a scrambled one.
constexpr std::array<unsigned char, kKeyTypes> kMarkers = {
    0x02, 0x05, 0x07, 0x0B, 0x0E, 0x11, 0x13, 0x17, 0x1A, 0x1C, 0x1F,
    0x83, 0x8D, 0x95, 0x9E, 0xA7, 0xB1, 0xBC, 0xC6, 0xD3, 0xE9, 0xF4,
};

// The checksum text of `text`: the sum of i x (code - '0') over its characters, i from 1,
// codes as signed bytes, written in decimal. Written into `out`; returns its length.
size_t checksum(const char* text, size_t size, char (&out)[24]) {
    // Summed modulo 2^64, so that no length of text (a file of any size) overflows; every text
    // the game writes sums far inside the range, where this is the plain signed sum.
    uint64_t total = 0;
    for (size_t i = 0; i < size; ++i) {
        const auto code = static_cast<int8_t>(text[i]);
        const auto v = static_cast<int8_t>(code - '0');
        total += static_cast<uint64_t>(static_cast<int64_t>(i + 1) * v);
    }
    const auto sum = static_cast<int64_t>(total);
    char digits[24];
    size_t n = 0;
    uint64_t magnitude = sum < 0 ? 0 - static_cast<uint64_t>(sum) : static_cast<uint64_t>(sum);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = 0;
    if (sum < 0) out[length++] = '-';
    while (n > 0)
        out[length++] = digits[--n];
    return length;
}

unsigned char shifted(char c, int32_t offset) {
    return static_cast<unsigned char>(static_cast<unsigned char>(c) + offset);
}

// Key type of each marker byte, -1 for bytes that are no marker.
constexpr std::array<int8_t, 256> kKeyOfMarker = [] {
    std::array<int8_t, 256> keys{};
    keys.fill(-1);
    for (int k = 0; k < kKeyTypes; ++k)
        keys[kMarkers[k]] = static_cast<int8_t>(k);
    return keys;
}();

// Shifts `in` by a key row into `out`, continuing at column `column`; false when a byte would
// become zero.
bool shiftInto(const char* in, size_t size, const int32_t* row, int& column, char* out) {
    for (size_t i = 0; i < size; ++i) {
        const unsigned char b = shifted(in[i], row[column]);
        if (b == 0) return false;
        out[i] = static_cast<char>(b);
        if (++column == kKeyWidth) column = 0;
    }
    return true;
}

}  // namespace

void QenData::Encrypt(std::string& s) {
    char sum[24];
    const size_t sumLength = checksum(s.data(), s.size(), sum);
    sum[sumLength] = static_cast<char>(sumLength);  // the length character ends the body
    const size_t n = s.size();
    const size_t total = n + sumLength + 2;

    // Short values (all the game's numbers) are formed on the stack.
    char small[64];
    std::string large;
    char* out = small;
    if (total > sizeof small) {
        large.resize(total);
        out = large.data();
    }

    int k = std::rand() % kKeyTypes;
    // A key type that would form a zero byte is skipped for the next one. Bodies of ASCII
    // bytes never need it; a body that blocks every key type stays plain.
    for (int tries = 0;; ++tries, k = (k + 1) % kKeyTypes) {
        if (tries == kKeyTypes) return;
        int column = 0;
        if (shiftInto(s.data(), n, kOffsets[k], column, out) &&
            shiftInto(sum, sumLength + 1, kOffsets[k], column, out + n)) {
            break;
        }
    }
    out[total - 1] = static_cast<char>(kMarkers[k]);
    s.assign(out, total);
}

void QenData::Decrypt(std::string& s) {
    if (s.size() <= 2) {
        if (s.empty()) {
            platform::log("Empty string don't need Decrypt");
        } else {
            platform::log("String <" + qen::bytesToUtf8(s) + "> is too short for Decrypt");
        }
        return;
    }
    const int k = kKeyOfMarker[static_cast<unsigned char>(s.back())];
    if (k < 0) {
        platform::log("Decrypt: no keytype match <" + qen::bytesToUtf8(s) + ">");
        return;
    }

    const int32_t* row = kOffsets[k];
    char* text = s.data();
    const size_t size = s.size() - 1;
    size_t length = 0;
    for (size_t i = 0, column = 0; i < size; ++i) {
        const unsigned char b = shifted(text[i], -row[column]);
        if (b != 0) text[length++] = static_cast<char>(b);  // a zero byte forms no character
        if (++column == kKeyWidth) column = 0;
    }
    if (length == 0) {
        s.clear();
        platform::log("Decrypt: crc not match");
        return;
    }
    // The length character of a tampered text may point outside it: never read past the
    // start, and count it as a mismatch.
    const int sumLength = static_cast<int8_t>(text[--length]);
    if (sumLength <= 0 || static_cast<size_t>(sumLength) > length) {
        s.resize(sumLength > 0 ? 0 : length);
        platform::log("Decrypt: crc not match");
        return;
    }
    const size_t plain = length - static_cast<size_t>(sumLength);
    char sum[24];
    const size_t computed = checksum(text, plain, sum);
    const bool match =
        computed == static_cast<size_t>(sumLength) && std::memcmp(sum, text + plain, computed) == 0;
    s.resize(plain);
    if (!match) platform::log("Decrypt: crc not match");
}

int32_t QenData::readInt(std::string& value) {
    Decrypt(value);
    const int32_t v = qen::intValue(value);
    Encrypt(value);
    return v;
}

int64_t QenData::readMoney(std::string& value) {
    Decrypt(value);
    const int64_t v = qen::longLongValue(value);
    Encrypt(value);
    return v;
}

void QenData::storeInt(std::string& value, int32_t number) {
    value = std::to_string(number);
    Encrypt(value);
}

void QenData::storeMoney(std::string& value, int64_t number) {
    value = std::to_string(number);
    Encrypt(value);
}
