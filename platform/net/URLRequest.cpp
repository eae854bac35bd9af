#include "platform/net/URLRequest.h"

#include <strings.h>
#include <algorithm>
#include <cctype>

namespace platform::net {
namespace {

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::optional<std::string> HeaderFields::value(const std::string& name) const {
    for (const auto& [n, v] : entries_)
        if (sameName(n, name)) return v;
    return std::nullopt;
}

void HeaderFields::set(const std::string& name, std::string value) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const auto& e) { return sameName(e.first, name); });
    if (it == entries_.end()) {
        entries_.emplace_back(name, std::move(value));
        return;
    }
    it->second = std::move(value);
}

void HeaderFields::append(const std::string& name, const std::string& value) {
    auto old = this->value(name);
    set(name, old ? *old + ", " + value : value);
}

void HeaderFields::remove(const std::string& name) {
    std::erase_if(entries_, [&](const auto& e) { return sameName(e.first, name); });
}

HTTPURLResponse::HTTPURLResponse(URL url, int64_t statusCode, HeaderFields headers)
    : url_(std::move(url)), statusCode_(statusCode), headers_(std::move(headers)) {
    if (auto length = headers_.value("Content-Length")) {
        try {
            expectedContentLength_ = std::stoll(*length);
        } catch (...) {
            expectedContentLength_ = -1;
        }
    }
    if (auto type = headers_.value("Content-Type")) {
        const auto semi = type->find(';');
        mimeType_ = lower(trim(type->substr(0, semi)));
        size_t at = semi;
        while (at != std::string::npos) {
            const auto next = type->find(';', at + 1);
            const std::string param = trim(type->substr(
                at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
            const auto eq = param.find('=');
            if (eq != std::string::npos && lower(trim(param.substr(0, eq))) == "charset") {
                std::string value = trim(param.substr(eq + 1));
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr(1, value.size() - 2);
                textEncodingName_ = lower(value);
            }
            at = next;
        }
    }
}

HTTPURLResponse::HTTPURLResponse(URL url,
                                 std::string mimeType,
                                 int64_t expectedContentLength,
                                 std::optional<std::string> textEncodingName)
    : url_(std::move(url)),
      statusCode_(-1),
      expectedContentLength_(expectedContentLength),
      mimeType_(lower(std::move(mimeType))),
      textEncodingName_(std::move(textEncodingName)) {}

Error makeURLError(int64_t code, const std::string& failingURL) {
    const char* description = "An unknown error occurred.";
    switch (code) {
        case kURLErrorCancelled:
            description = "cancelled";
            break;
        case kURLErrorBadURL:
            description = "bad URL";
            break;
        case kURLErrorTimedOut:
            description = "The request timed out.";
            break;
        case kURLErrorUnsupportedURL:
            description = "unsupported URL";
            break;
        case kURLErrorCannotFindHost:
            description = "A server with the specified hostname could not be found.";
            break;
        case kURLErrorCannotConnectToHost:
            description = "Could not connect to the server.";
            break;
        case kURLErrorNetworkConnectionLost:
            description = "The network connection was lost.";
            break;
        case kURLErrorHTTPTooManyRedirects:
            description = "too many HTTP redirects";
            break;
        case kURLErrorResourceUnavailable:
            description = "The requested resource is unavailable.";
            break;
        case kURLErrorServerCertificateUntrusted:
            description = "The certificate for this server is invalid.";
            break;
        default:
            break;
    }
    Dictionary info;
    info["NSLocalizedDescription"] = description;
    info[kFailingURLStringKey] = failingURL;
    info[kFailingURLKey] = failingURL;
    return Error(kURLErrorDomain, code, std::move(info));
}

std::string HTTPURLResponse::localizedStringForStatusCode(int64_t status) {
    switch (status) {
        case 200:
            return "no error";
        case 201:
            return "created";
        case 204:
            return "no content";
        case 301:
            return "moved permanently";
        case 302:
            return "found";
        case 304:
            return "not modified";
        case 400:
            return "bad request";
        case 401:
            return "unauthorized";
        case 403:
            return "forbidden";
        case 404:
            return "not found";
        case 405:
            return "method not allowed";
        case 408:
            return "request timed out";
        case 410:
            return "no longer exists";
        case 429:
            return "too many requests";
        case 500:
            return "internal server error";
        case 501:
            return "unimplemented";
        case 502:
            return "bad gateway";
        case 503:
            return "service unavailable";
        case 504:
            return "gateway timed out";
        default:
            break;
    }
    if (status >= 100 && status < 200) return "informational";
    if (status >= 200 && status < 300) return "success";
    if (status >= 300 && status < 400) return "redirected";
    if (status >= 400 && status < 500) return "client error";
    return "server error";
}

}  // namespace platform::net
