#pragma once
// What a load asks for and what it answers: the request (URL, method, headers, body, cache
// policy, time-out, cookie handling), the response (status, headers, content type), and the
// load errors with their codes. Plain values; copy them freely between threads.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/net/URL.h"

namespace platform::net {

// Header fields: names compared without regard to case, kept in the order first set.
class HeaderFields {
  public:
    // The value of `name`, else std::nullopt.
    std::optional<std::string> value(const std::string& name) const;
    // Replaces the value of `name` (keeping its place), or appends it.
    void set(const std::string& name, std::string value);
    // A repeated response header: joins the new value to the one before with ", ".
    void append(const std::string& name, const std::string& value);
    void remove(const std::string& name);
    const std::vector<std::pair<std::string, std::string>>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

enum class CachePolicy : uint64_t {
    UseProtocolCachePolicy = 0,        // load from the network; store the answer when allowed
    ReloadIgnoringLocalCacheData = 1,  // the same, never answered from the cache
    ReturnCacheDataElseLoad = 2,       // a cached answer when there is one, else load
    ReturnCacheDataDontLoad = 3,       // a cached answer, else fail (kResourceUnavailable)
};

struct URLRequest {
    URL url;
    std::string httpMethod = "GET";
    HeaderFields headers;
    Data body;
    CachePolicy cachePolicy = CachePolicy::UseProtocolCachePolicy;
    double timeoutInterval = 60;  // seconds without progress before the load fails
    bool HTTPShouldHandleCookies = true;
    std::optional<URL> mainDocumentURL;

    explicit URLRequest(URL url) : url(std::move(url)) {}

    std::optional<std::string> valueForHeader(const std::string& name) const {
        return headers.value(name);
    }
    void setValueForHeader(const std::string& name, std::string value) {
        headers.set(name, std::move(value));
    }
};

// A response. statusCode is -1 for an answer that is not HTTP (one given by a URL protocol
// that did not make it an HTTP answer).
class HTTPURLResponse {
  public:
    // An HTTP answer; MIME type and text encoding come from its Content-Type, the expected
    // length from its Content-Length (-1 when absent).
    HTTPURLResponse(URL url, int64_t statusCode, HeaderFields headers);
    // An answer that is not HTTP.
    HTTPURLResponse(URL url,
                    std::string mimeType,
                    int64_t expectedContentLength,
                    std::optional<std::string> textEncodingName);

    const URL& url() const { return url_; }
    int64_t statusCode() const { return statusCode_; }
    bool isHTTP() const { return statusCode_ >= 0; }
    const HeaderFields& allHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHeader(const std::string& name) const {
        return headers_.value(name);
    }
    int64_t expectedContentLength() const { return expectedContentLength_; }
    // Lower case, without parameters; empty when unknown.
    const std::string& MIMEType() const { return mimeType_; }
    // The charset parameter, lower case, when given.
    const std::optional<std::string>& textEncodingName() const { return textEncodingName_; }

    // A short English text for a status code, lower case; unknown codes get their class's text.
    static std::string localizedStringForStatusCode(int64_t statusCode);

  private:
    URL url_;
    int64_t statusCode_;
    HeaderFields headers_;
    int64_t expectedContentLength_ = -1;
    std::string mimeType_;
    std::optional<std::string> textEncodingName_;
};

// A response with its body, as the URL cache keeps it.
struct CachedURLResponse {
    HTTPURLResponse response;
    Data data;
};

// Load errors: domain kURLErrorDomain, these codes, and in the user info the failing URL's
// text under kFailingURLStringKey and kFailingURLKey, and a description.
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* kFailingURLStringKey = "NSErrorFailingURLStringKey";
inline constexpr const char* kFailingURLKey = "NSErrorFailingURLKey";
enum URLErrorCode : int64_t {
    kURLErrorUnknown = -1,
    kURLErrorCancelled = -999,
    kURLErrorBadURL = -1000,
    kURLErrorTimedOut = -1001,
    kURLErrorUnsupportedURL = -1002,
    kURLErrorCannotFindHost = -1003,
    kURLErrorCannotConnectToHost = -1004,
    kURLErrorNetworkConnectionLost = -1005,
    kURLErrorHTTPTooManyRedirects = -1007,
    kURLErrorResourceUnavailable = -1008,
    kURLErrorUserCancelledAuthentication = -1012,
    kURLErrorFileDoesNotExist = -1100,
    kURLErrorServerCertificateUntrusted = -1202,
};
Error makeURLError(int64_t code, const std::string& failingURL);

}  // namespace platform::net
