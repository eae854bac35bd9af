#pragma once
// The response serializer of every Puffin API request: a reply is accepted only when its status
// is 200 to 299, its body is a JSON dictionary and that dictionary matches the request's
// response mask. Every rejection of its own is the one error PFNNetworkingErrorDomain -1011
// with no user info; the reason goes to the warning log only. Rejections by the JSON
// serializer's own checks (status codes, content types) keep their errors.
//
// Threading: runs where the request operation parses its reply (the response-processing
// queue); the serializer is configured once and then only read.

#include <memory>

#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFNURLResponseSerialization.h"

class PFAPIJSONResponseSerializer : public PFNJSONResponseSerializer {
  public:
    static constexpr int64_t kBadServerResponse = -1011;

    static std::shared_ptr<PFAPIJSONResponseSerializer> serializerForRequest(
        std::shared_ptr<PFHTTPAPIRequest> request);
    // Also accepts "text/html".
    PFAPIJSONResponseSerializer();

    std::shared_ptr<PFHTTPAPIRequest> request;

    bool validateResponseDataError(const platform::net::HTTPURLResponse* response,
                                   const platform::Data* data,
                                   platform::Error* error) const override;
    // A serializer with the same settings and no request.
    std::shared_ptr<PFNHTTPResponseSerializer> copy() const override;
};
