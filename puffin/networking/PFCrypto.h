#pragma once
// SHA-1 digests and lowercase hexadecimal text: the API request's signature, the device
// identity and the image cache's file names. Pure functions; any thread.

#include <optional>
#include <string>

#include "platform/foundation/Data.h"

class PFCrypto {
  public:
    // The 20 digest bytes; std::nullopt for absent data.
    static std::optional<platform::Data> SHA1DataWithData(
        const std::optional<platform::Data>& data);
    // 40 lowercase hex characters; "" for absent data.
    static std::string SHA1StringWithData(const std::optional<platform::Data>& data);
    // Two lowercase hex digits per byte, high nibble first; std::nullopt for absent data.
    static std::optional<std::string> hexRepresentationOfData(
        const std::optional<platform::Data>& data);
};
