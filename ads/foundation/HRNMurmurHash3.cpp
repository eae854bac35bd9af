#include "ads/foundation/HRNMurmurHash3.h"

namespace {

constexpr uint32_t rotl32(uint32_t x, int r) {
    return (x << r) | (x >> (32 - r));
}

constexpr uint32_t fmix32(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85ebca6b;
    h ^= h >> 13;
    h *= 0xc2b2ae35;
    h ^= h >> 16;
    return h;
}

}  // namespace

uint32_t HRNMurmurHash3(const void* bytes, size_t length, uint32_t seed) {
    const auto* data = static_cast<const uint8_t*>(bytes);
    const size_t blocks = length / 4;
    constexpr uint32_t c1 = 0xcc9e2d51;
    constexpr uint32_t c2 = 0x1b873593;
    uint32_t h1 = seed;

    for (size_t i = 0; i < blocks; ++i) {
        const uint8_t* p = data + i * 4;
        uint32_t k1 =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        k1 *= c1;
        k1 = rotl32(k1, 15);
        k1 *= c2;
        h1 ^= k1;
        h1 = rotl32(h1, 13);
        h1 = h1 * 5 + 0xe6546b64;
    }

    const uint8_t* tail = data + blocks * 4;
    uint32_t k1 = 0;
    switch (length & 3) {
        case 3:
            k1 ^= uint32_t(tail[2]) << 16;
            [[fallthrough]];
        case 2:
            k1 ^= uint32_t(tail[1]) << 8;
            [[fallthrough]];
        case 1:
            k1 ^= tail[0];
            k1 *= c1;
            k1 = rotl32(k1, 15);
            k1 *= c2;
            h1 ^= k1;
    }

    h1 ^= static_cast<uint32_t>(length);
    return fmix32(h1);
}
