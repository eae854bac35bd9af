#include "platform/security/Digest.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace platform::security {
namespace {

Data digest(const EVP_MD* md, Bytes bytes) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!md || EVP_Digest(bytes.data(), bytes.size(), out, &length, md, nullptr) != 1) {
        std::fprintf(stderr, "platform::security: digest failed\n");
        std::abort();
    }
    return Data(out, length);
}

}  // namespace

Data md5(Bytes bytes) {
    return digest(EVP_md5(), bytes);
}
Data sha1(Bytes bytes) {
    return digest(EVP_sha1(), bytes);
}
Data sha256(Bytes bytes) {
    return digest(EVP_sha256(), bytes);
}
std::string md5Hex(Bytes bytes) {
    return hex(md5(bytes));
}
std::string sha1Hex(Bytes bytes) {
    return hex(sha1(bytes));
}
std::string sha256Hex(Bytes bytes) {
    return hex(sha256(bytes));
}

std::string hex(const Data& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes.bytes()) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0xf]);
    }
    return text;
}

Data randomBytes(size_t n) {
    Data out{std::vector<uint8_t>(n)};
    size_t done = 0;
    while (done < n) {  // RAND_bytes takes an int count
        const size_t chunk = std::min<size_t>(n - done, INT_MAX);
        if (RAND_bytes(out.data() + done, static_cast<int>(chunk)) != 1) {
            std::fprintf(stderr, "platform::security: the random generator failed\n");
            std::abort();
        }
        done += chunk;
    }
    return out;
}

}  // namespace platform::security
