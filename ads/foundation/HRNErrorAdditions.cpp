#include "ads/foundation/HRNErrorAdditions.h"

platform::Error hrn_errorWithDomain(std::string domain,
                                    int64_t code,
                                    const std::optional<std::string>& description) {
    platform::Error error(std::move(domain), code);
    if (description) {
        error.userInfo.emplace("NSLocalizedDescription", *description);
        error.userInfo.emplace(kHRNLocalizedFailureReasonKey, *description);
    }
    return error;
}

platform::Error hrn_errorWithCode(int64_t code, const std::optional<std::string>& description) {
    return hrn_errorWithDomain(kHRNInternalErrorDomain, code, description);
}

std::optional<std::string> hrn_localizedDescriptionForErrorCode(int64_t code) {
    switch (code) {
        case HRNInternalErrorCodeFileCouldNotBeRead:
            return "File could not be read.";
        case HRNInternalErrorCodeInternalError:
            return "Internal error.";
        case HRNInternalErrorCodeInvalidArgument:
            return "Invalid argument.";
        default:
            return std::nullopt;
    }
}
