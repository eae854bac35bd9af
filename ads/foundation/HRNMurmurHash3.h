#pragma once
// The 32-bit x86 variant of MurmurHash3 as published (blocks of 4 bytes read little-endian, the
// tail, the final mix). Content hashing uses it with seed 0 for token values and fingerprint
// bytes. Pure function; any thread.

#include <cstddef>
#include <cstdint>

uint32_t HRNMurmurHash3(const void* bytes, size_t length, uint32_t seed);
