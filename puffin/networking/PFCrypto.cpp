#include "puffin/networking/PFCrypto.h"

#include "platform/security/Digest.h"

std::optional<platform::Data> PFCrypto::SHA1DataWithData(
    const std::optional<platform::Data>& data) {
    if (!data) return std::nullopt;
    return platform::security::sha1(*data);
}

std::string PFCrypto::SHA1StringWithData(const std::optional<platform::Data>& data) {
    if (!data) return {};
    return *hexRepresentationOfData(SHA1DataWithData(data));
}

std::optional<std::string> PFCrypto::hexRepresentationOfData(
    const std::optional<platform::Data>& data) {
    if (!data) return std::nullopt;
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(data->size() * 2);
    for (uint8_t b : data->bytes()) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}
