#pragma once
// HRNRequestError: the error the ad SDK hands to applications when a request, a load or a
// presentation fails, and that its parts pass to one another. It always has the SDK's public
// domain and a code of the table below; its description and failure reason are the same text:
// a custom message when one was given, else the code's standard message.
//
//   0 invalid request   1 no fill          2 network error    3 server error
//   4 OS too old        5 time-out         6 interstitial used 7 bad mediation answer
//   8 no adapter        9 no fill anywhere 10 wrong ad type   11 internal error
//   12 invalid argument 13 invalid response
//
// Immutable once made; usable from any thread.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"

class HRNRequest;

inline constexpr const char* kHRNErrorDomain = "com.heron.ads";
// User-info keys.
inline constexpr const char* kHRNUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* kHRNHttpStatusKey = "HttpStatus";

enum HRNErrorCode : int64_t {
    kHRNErrorInvalidRequest = 0,
    kHRNErrorNoFill = 1,
    kHRNErrorNetworkError = 2,
    kHRNErrorServerError = 3,
    kHRNErrorOSVersionTooLow = 4,
    kHRNErrorTimeout = 5,
    kHRNErrorInterstitialAlreadyUsed = 6,
    kHRNErrorMediationDataError = 7,
    kHRNErrorMediationAdapterError = 8,
    kHRNErrorMediationNoFill = 9,
    kHRNErrorMediationInvalidAdSize = 10,
    kHRNErrorInternalError = 11,
    kHRNErrorInvalidArgument = 12,
    kHRNErrorReceivedInvalidResponse = 13,
};

class HRNRequestError : public platform::Error {
  public:
    // The designated form. For code 0 the request's parameters join the user info; an HTTP
    // status of 1 or more adds "HttpStatus"; the underlying error is kept under
    // kHRNUnderlyingErrorKey.
    HRNRequestError(int64_t code,
                    const HRNRequest* request,
                    int64_t httpStatusCode,
                    const std::optional<std::string>& customMessage,
                    const std::optional<platform::Error>& underlyingError);

    // Wraps any error: the result has code 11 and the given error as its underlying error.
    HRNRequestError(std::string domain, int64_t code, platform::Dictionary userInfo);

    static HRNRequestError errorWithCode(int64_t code);
    static HRNRequestError errorWithCodeCustomMessage(int64_t code, const std::string& message);
    static HRNRequestError errorWithCodeRequest(int64_t code, const HRNRequest* request);
    static HRNRequestError errorWithCodeRequestHTTPStatusCode(int64_t code,
                                                              const HRNRequest* request,
                                                              int64_t httpStatusCode);
    static HRNRequestError errorWithCodeRequestHTTPStatusCodeCustomMessage(
        int64_t code,
        const HRNRequest* request,
        int64_t httpStatusCode,
        const std::optional<std::string>& customMessage);
    static HRNRequestError errorWithCodeRequestHTTPStatusCodeCustomMessageUnderlyingError(
        int64_t code,
        const HRNRequest* request,
        int64_t httpStatusCode,
        const std::optional<std::string>& customMessage,
        const std::optional<platform::Error>& underlyingError);
    // The underlying error's description replaces the standard message; without an underlying
    // error this is errorWithCode.
    static HRNRequestError errorWithCodeUnderlyingError(
        int64_t code,
        const std::optional<platform::Error>& underlyingError);

    // The standard message of a code; codes outside the table have the message of code 0.
    static std::string standardMessageForCode(int64_t code);

    // The plain error with the same domain, code and user info.
    platform::Error error() const { return *this; }

    // The error kept under kHRNUnderlyingErrorKey, if any.
    std::optional<platform::Error> underlyingError() const;
};
