#pragma once
// The errors a player item fails with: domain kMediaErrorDomain, one of the codes below, a
// description, and for a failed download the network's error under kUnderlyingErrorKey
// (its domain, code and description as a dictionary).

#include <cstdint>
#include <string>

#include "platform/foundation/Error.h"

namespace platform::media {

inline constexpr const char* kMediaErrorDomain = "MediaErrorDomain";
inline constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";

enum MediaErrorCode : int64_t {
    kMediaErrorCannotOpen = 1,      // missing or unreadable file
    kMediaErrorNotMedia = 2,        // bytes that hold no playable video or audio
    kMediaErrorDecodeFailed = 3,    // the stream broke while playing
    kMediaErrorDownloadFailed = 4,  // the server answered an error status or the load failed
    kMediaErrorUnsupportedURL = 5,  // a URL that is neither a file nor http(s)
};

inline Error mediaError(MediaErrorCode code, const std::string& description) {
    return Error::withDescription(kMediaErrorDomain, code, description);
}

}  // namespace platform::media
