#pragma once
// Error objects of the ad SDK. Internal failures (a file that cannot be read, a value that
// cannot be coded, a bad argument) use the SDK's private error domain with three fixed codes.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"

inline constexpr const char* kHRNInternalErrorDomain = "com.heron.ads.internal";
inline constexpr const char* kHRNLocalizedFailureReasonKey = "NSLocalizedFailureReason";

enum HRNInternalErrorCode : int64_t {
    HRNInternalErrorCodeFileCouldNotBeRead = 1,
    HRNInternalErrorCodeInternalError = 2,
    HRNInternalErrorCodeInvalidArgument = 3,
};

// The description, when given, is both the localized description and the failure reason;
// without one the error has no user info.
platform::Error hrn_errorWithDomain(std::string domain,
                                    int64_t code,
                                    const std::optional<std::string>& description);
// The same in the internal domain.
platform::Error hrn_errorWithCode(int64_t code, const std::optional<std::string>& description);
// The fixed text of an internal code; std::nullopt for other codes.
std::optional<std::string> hrn_localizedDescriptionForErrorCode(int64_t code);
