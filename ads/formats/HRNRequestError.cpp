#include "ads/formats/HRNRequestError.h"

#include <array>
#include <mutex>

#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNErrorAdditions.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/net/URLRequest.h"

namespace {

constexpr const char* kDescriptionKey = "NSLocalizedDescription";

constexpr std::array<const char*, 14> kStandardMessages = {
    "Request Error: Invalid ad request parameter(s). Check the Xcode console for details.",
    "Request Error: No ad to show.",
    "Request Error: A network error occurred.",
    "Request Error: Server error processing the request.",
    nullptr,  // code 4: see standardMessageForCode
    "Request Error: The Heron Ad request was unable to be fulfilled before a timeout occurred.",
    "Request Error: Will not send request because interstitial object has been used.",
    "Request Error: The mediation response was invalid.",
    "Request Error: Cannot find an ad network adapter for mediation.",
    "Request Error: No ad to show from all configured ad networks.",
    "Request Error: Incompatible ad type requested.",
    "Request Error: Internal error.",
    "Request Error: Invalid argument.",
    "Request Error: Received invalid response.",
};

platform::Value encodeError(const platform::Error& error) {
    return platform::Dictionary{
        {"domain", error.domain}, {"code", error.code}, {"userInfo", error.userInfo}};
}

}  // namespace

std::string HRNRequestError::standardMessageForCode(int64_t code) {
    if (code == kHRNErrorOSVersionTooLow) {
        // Built once, with the device's system version, once the device facts know it;
        // before that the text is code 0's.
        static std::mutex mutex;
        static auto& text = *new std::string();
        std::lock_guard lock(mutex);
        if (text.empty()) {
            const std::string version = HRNDevice::sharedInstance()->systemVersion();
            if (version.empty()) return kStandardMessages[0];
            text = "Request Error: This device's OS is " + version +
                   ". It is below the minimum of 6.0.";
        }
        return text;
    }
    if (code < 0 || code >= static_cast<int64_t>(kStandardMessages.size())) {
        return kStandardMessages[0];
    }
    return kStandardMessages[code];
}

HRNRequestError::HRNRequestError(int64_t code,
                                 const HRNRequest* request,
                                 int64_t httpStatusCode,
                                 const std::optional<std::string>& customMessage,
                                 const std::optional<platform::Error>& underlyingError) {
    // A request parameter never replaces the description, the failure reason or the underlying
    // error; "HttpStatus" replaces a request parameter of that name.
    std::string text = customMessage ? *customMessage : standardMessageForCode(code);
    platform::Dictionary info;
    info[kDescriptionKey] = text;
    info[kHRNLocalizedFailureReasonKey] = text;
    if (underlyingError) info[kHRNUnderlyingErrorKey] = encodeError(*underlyingError);
    if (code == kHRNErrorInvalidRequest && request) {
        for (auto& [key, value] : request->parameters())
            if (key != kDescriptionKey && key != kHRNLocalizedFailureReasonKey &&
                key != kHRNUnderlyingErrorKey)
                info[key] = value;
    }
    if (httpStatusCode >= 1) {
        info[kHRNHttpStatusKey] =
            "HTTP status " + std::to_string(httpStatusCode) + ": " +
            platform::net::HTTPURLResponse::localizedStringForStatusCode(httpStatusCode);
    }
    domain = kHRNErrorDomain;
    this->code = code;
    userInfo = std::move(info);
}

HRNRequestError::HRNRequestError(std::string domain, int64_t code, platform::Dictionary userInfo)
    : HRNRequestError(kHRNErrorInternalError,
                      nullptr,
                      0,
                      std::nullopt,
                      platform::Error(std::move(domain), code, std::move(userInfo))) {}

HRNRequestError HRNRequestError::errorWithCode(int64_t code) {
    return HRNRequestError(code, nullptr, 0, std::nullopt, std::nullopt);
}

HRNRequestError HRNRequestError::errorWithCodeCustomMessage(int64_t code,
                                                            const std::string& message) {
    return HRNRequestError(code, nullptr, 0, message, std::nullopt);
}

HRNRequestError HRNRequestError::errorWithCodeRequest(int64_t code, const HRNRequest* request) {
    return HRNRequestError(code, request, 0, std::nullopt, std::nullopt);
}

HRNRequestError HRNRequestError::errorWithCodeRequestHTTPStatusCode(int64_t code,
                                                                    const HRNRequest* request,
                                                                    int64_t httpStatusCode) {
    return HRNRequestError(code, request, httpStatusCode, std::nullopt, std::nullopt);
}

HRNRequestError HRNRequestError::errorWithCodeRequestHTTPStatusCodeCustomMessage(
    int64_t code,
    const HRNRequest* request,
    int64_t httpStatusCode,
    const std::optional<std::string>& customMessage) {
    return HRNRequestError(code, request, httpStatusCode, customMessage, std::nullopt);
}

HRNRequestError HRNRequestError::errorWithCodeRequestHTTPStatusCodeCustomMessageUnderlyingError(
    int64_t code,
    const HRNRequest* request,
    int64_t httpStatusCode,
    const std::optional<std::string>& customMessage,
    const std::optional<platform::Error>& underlyingError) {
    return HRNRequestError(code, request, httpStatusCode, customMessage, underlyingError);
}

HRNRequestError HRNRequestError::errorWithCodeUnderlyingError(
    int64_t code,
    const std::optional<platform::Error>& underlyingError) {
    std::optional<std::string> message;
    if (underlyingError) message = underlyingError->localizedDescription();
    return HRNRequestError(code, nullptr, 0, message, underlyingError);
}

std::optional<platform::Error> HRNRequestError::underlyingError() const {
    auto it = userInfo.find(kHRNUnderlyingErrorKey);
    if (it == userInfo.end() || !it->second.isDictionary()) return std::nullopt;
    const platform::Value& encoded = it->second;
    const platform::Value* domainValue = encoded.find("domain");
    const platform::Value* codeValue = encoded.find("code");
    const platform::Value* infoValue = encoded.find("userInfo");
    if (!domainValue || !codeValue) return std::nullopt;
    platform::Error error(domainValue->asString(), codeValue->asInteger());
    if (infoValue && infoValue->dictionary()) error.userInfo = *infoValue->dictionary();
    return error;
}
