#pragma once
// The request builder of the ad SDK's own loads: the device's User-Agent on every request and a
// POST only when both a body and its content type are given. Any thread.

#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/net/URLRequest.h"

// std::nullopt without a URL. The given headers, when any, become all the request's header
// fields; "User-Agent" is then the device's user-agent text when that is known. With both
// `body` and `type`: method "POST", the body, "Content-Length" and "Content-Type"; otherwise GET
// without a body.
std::optional<platform::net::URLRequest> hrn_requestForURL(
    const std::optional<platform::net::URL>& url,
    const std::optional<platform::Data>& body,
    const std::optional<platform::net::HeaderFields>& headers,
    const std::optional<std::string>& type);

// The device's user-agent text on the request, when it is known and not empty.
void hrn_setDeviceUserAgent(platform::net::URLRequest& request);
