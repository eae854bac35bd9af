#pragma once
// Request serializers: turn an HTTP method, a URL string and a tree of parameters into a ready
// request, with the default headers (the user's languages, a user agent from the bundle and the
// device), the request settings the caller changed on the serializer, and the parameters in the
// URL's query ("GET", "HEAD", "DELETE") or in a form-encoded body; the JSON and property-list
// subclasses write the body in their format. The operation manager owns one and builds every
// request with it, multipart ones included (PFNStreamingMultipartFormData.h).
//
// Parameters are platform::Value trees; std::nullopt means no parameters (no query, no body),
// an empty dictionary an empty query. A serializer is configured, then used from any thread;
// changing it while another thread builds a request is the caller's business: no locks.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"

class PFNMultipartFormData;
class PFNMultipartBodyStream;

// One leaf of a flattened parameter tree: user[name]=x. A null value renders as the key alone.
struct PFNQueryStringPair {
    std::string field;
    platform::Value value;
    std::string URLEncodedStringValueWithEncoding(uint64_t stringEncoding = 4) const;
};

// The tree flattened in order: dictionary keys sorted, arrays as key[] in order.
std::vector<PFNQueryStringPair> PFNQueryPairsForKeyAndValue(const std::optional<std::string>& key,
                                                            const platform::Value& value);
// The pairs rendered and joined with "&".
std::string PFNQueryStringFromParametersWithEncoding(const platform::Value& parameters,
                                                     uint64_t stringEncoding = 4);
// Percent escapes for query keys (square brackets and "." stay) and values (only letters,
// digits and "-_.~" stay).
std::string PFNPercentEscapedQueryKey(const std::string& key);
std::string PFNPercentEscapedQueryValue(const std::string& value);
// A value's text as it goes into a query: numbers in decimal, booleans as 1 and 0.
std::string PFNDescriptionOfValue(const platform::Value& value);

enum PFNHTTPRequestQueryStringSerializationStyle : uint64_t {
    PFNHTTPRequestQueryStringDefaultStyle = 0,
};

class PFNHTTPRequestSerializer {
  public:
    using QueryStringSerialization =
        std::function<std::optional<std::string>(const platform::net::URLRequest& request,
                                                 const platform::Value& parameters,
                                                 platform::Error* error)>;
    using ConstructingBodyBlock = std::function<void(PFNMultipartFormData& formData)>;

    static std::shared_ptr<PFNHTTPRequestSerializer> serializer();
    PFNHTTPRequestSerializer();
    virtual ~PFNHTTPRequestSerializer() = default;

    uint64_t stringEncoding = 4;  // UTF-8
    std::set<std::string> HTTPMethodsEncodingParametersInURI = {"GET", "HEAD", "DELETE"};

    // The request settings. Each one set after construction is copied onto every later request
    // (also when set to its construction value).
    bool allowsCellularAccess() const { return allowsCellularAccess_; }
    void setAllowsCellularAccess(bool value);
    uint64_t cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(uint64_t value);
    bool HTTPShouldHandleCookies() const { return HTTPShouldHandleCookies_; }
    void setHTTPShouldHandleCookies(bool value);
    bool HTTPShouldUsePipelining() const { return HTTPShouldUsePipelining_; }
    void setHTTPShouldUsePipelining(bool value);
    uint64_t networkServiceType() const { return networkServiceType_; }
    void setNetworkServiceType(uint64_t value);
    double timeoutInterval() const { return timeoutInterval_; }
    void setTimeoutInterval(double value);
    const std::set<std::string>& changedSettings() const { return changed_; }

    // Default headers: names exactly as written; std::nullopt removes.
    const std::vector<std::pair<std::string, std::string>>& HTTPRequestHeaders() const {
        return headers_;
    }
    void setValueForHTTPHeaderField(const std::optional<std::string>& value,
                                    const std::string& field);
    std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
    void setAuthorizationHeaderFieldWithUsernamePassword(const std::string& username,
                                                         const std::string& password);
    void setAuthorizationHeaderFieldWithToken(const std::string& token);
    void clearAuthorizationHeader();

    uint64_t queryStringSerializationStyle() const { return style_; }
    void setQueryStringSerializationWithStyle(uint64_t style);
    void setQueryStringSerializationWithBlock(QueryStringSerialization block);

    // std::nullopt when the serializer refuses (an error from the query block). Aborts on an
    // empty method or a URL string that does not parse.
    std::optional<platform::net::URLRequest> requestWithMethodURLStringParametersError(
        const std::string& method,
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        platform::Error* error = nullptr) const;
    virtual std::optional<platform::net::URLRequest> requestBySerializingRequestWithParametersError(
        const platform::net::URLRequest& request,
        const std::optional<platform::Value>& parameters,
        platform::Error* error) const;
    // A multipart/form-data request: the parameters as form parts, then what the block adds.
    // Aborts on "GET" or "HEAD".
    std::optional<platform::net::URLRequest>
    multipartFormRequestWithMethodURLStringParametersConstructingBodyWithBlockError(
        const std::string& method,
        const std::string& URLString,
        const std::optional<platform::Value>& parameters,
        const ConstructingBodyBlock& block,
        platform::Error* error = nullptr) const;

    // Drains a multipart body into a file (replacing its content) on the global queue, 1024
    // bytes at a time, then calls `handler` on the main queue with the first error, if any.
    // Answers the request without its body at once. Without a body stream: the request
    // unchanged, and the handler never runs. Aborts when `fileURL` is no file URL.
    platform::net::URLRequest
    requestWithMultipartFormRequestWritingStreamContentsToFileCompletionHandler(
        const platform::net::URLRequest& request,
        std::shared_ptr<PFNMultipartBodyStream> bodyStream,
        const platform::net::URL& fileURL,
        std::function<void(const std::optional<platform::Error>& error)> handler) const;

    // A serializer of the same class with the headers, style and block copied; the request
    // settings start from their construction values.
    virtual std::shared_ptr<PFNHTTPRequestSerializer> copy() const;

    // Archiving: the default headers ("mutableHTTPRequestHeaders"), the query style and the
    // subclass's own options, with "class". Decoding constructs the class (so the settings
    // take their construction values and the default headers are rebuilt), then puts the
    // archived headers and style in place. The query block is not archived.
    virtual std::string className() const { return "PFNHTTPRequestSerializer"; }
    virtual platform::Dictionary encodeWithCoder() const;
    static std::shared_ptr<PFNHTTPRequestSerializer> serializerWithCoder(
        const platform::Value& archive);

  protected:
    virtual void decodeFromCoder(const platform::Dictionary& archive);
    // The incoming request with the default headers it does not set itself.
    platform::net::URLRequest withDefaultHeaders(const platform::net::URLRequest& request) const;
    void copyInto(PFNHTTPRequestSerializer& other) const;

  private:
    bool allowsCellularAccess_ = true;
    uint64_t cachePolicy_ = 0;
    bool HTTPShouldHandleCookies_ = true;
    bool HTTPShouldUsePipelining_ = false;
    uint64_t networkServiceType_ = 0;
    double timeoutInterval_ = 30;
    std::set<std::string> changed_;
    std::vector<std::pair<std::string, std::string>> headers_;
    uint64_t style_ = PFNHTTPRequestQueryStringDefaultStyle;
    QueryStringSerialization queryStringSerialization_;
};

class PFNJSONRequestSerializer : public PFNHTTPRequestSerializer {
  public:
    static std::shared_ptr<PFNJSONRequestSerializer> serializer();
    static std::shared_ptr<PFNJSONRequestSerializer> serializerWithWritingOptions(
        uint64_t writingOptions);
    uint64_t writingOptions = 0;  // 1: pretty-printed

    std::optional<platform::net::URLRequest> requestBySerializingRequestWithParametersError(
        const platform::net::URLRequest& request,
        const std::optional<platform::Value>& parameters,
        platform::Error* error) const override;
    std::shared_ptr<PFNHTTPRequestSerializer> copy() const override;
    std::string className() const override { return "PFNJSONRequestSerializer"; }
    platform::Dictionary encodeWithCoder() const override;

  protected:
    void decodeFromCoder(const platform::Dictionary& archive) override;
};

class PFNPropertyListRequestSerializer : public PFNHTTPRequestSerializer {
  public:
    static std::shared_ptr<PFNPropertyListRequestSerializer> serializer();
    static std::shared_ptr<PFNPropertyListRequestSerializer> serializerWithFormatWriteOptions(
        uint64_t format,
        uint64_t writeOptions);
    uint64_t format = 100;  // 100 XML, 200 binary
    uint64_t writeOptions = 0;

    std::optional<platform::net::URLRequest> requestBySerializingRequestWithParametersError(
        const platform::net::URLRequest& request,
        const std::optional<platform::Value>& parameters,
        platform::Error* error) const override;
    std::shared_ptr<PFNHTTPRequestSerializer> copy() const override;
    std::string className() const override { return "PFNPropertyListRequestSerializer"; }
    platform::Dictionary encodeWithCoder() const override;

  protected:
    void decodeFromCoder(const platform::Dictionary& archive) override;
};
