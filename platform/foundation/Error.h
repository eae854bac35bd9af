#pragma once
// Error: what failed, as a domain, a code and a user-info dictionary, the way the system's
// components report ordinary failures (nothing is thrown for them). The user info's
// "NSLocalizedDescription" entry is the message; localizedDescription() reads it.

#include <cstdint>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {

struct Error {
    std::string domain;
    int64_t code = 0;
    Dictionary userInfo;

    Error() = default;
    Error(std::string domain, int64_t code, Dictionary userInfo = {})
        : domain(std::move(domain)), code(code), userInfo(std::move(userInfo)) {}
    // An error whose user info holds only the description.
    static Error withDescription(std::string domain, int64_t code, const std::string& description);

    std::string localizedDescription() const;

    friend bool operator==(const Error&, const Error&) = default;
};

// Sets *out when out is not null.
inline void setError(Error* out, Error e) {
    if (out) *out = std::move(e);
}

}  // namespace platform
