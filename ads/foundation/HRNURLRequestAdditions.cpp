#include "ads/foundation/HRNURLRequestAdditions.h"

#include "ads/foundation/HRNDevice.h"

void hrn_setDeviceUserAgent(platform::net::URLRequest& request) {
    auto userAgent = HRNDevice::sharedInstance()->userAgentString();
    if (userAgent && !userAgent->empty()) request.setValueForHeader("User-Agent", *userAgent);
}

std::optional<platform::net::URLRequest> hrn_requestForURL(
    const std::optional<platform::net::URL>& url,
    const std::optional<platform::Data>& body,
    const std::optional<platform::net::HeaderFields>& headers,
    const std::optional<std::string>& type) {
    if (!url) return std::nullopt;
    platform::net::URLRequest request(*url);
    if (headers) request.headers = *headers;
    hrn_setDeviceUserAgent(request);
    if (body && type) {
        request.httpMethod = "POST";
        request.body = *body;
        request.setValueForHeader("Content-Length", std::to_string(body->size()));
        request.setValueForHeader("Content-Type", *type);
    }
    return request;
}
