#include "puffin/networking/PFAPIJSONResponseSerializer.h"

#include <exception>

#include "platform/foundation/PropertyList.h"
#include "puffin/core/PFLog.h"
#include "puffin/networking/PFNNetworking.h"

using platform::Error;
using platform::Value;

namespace {

bool reject(Error* error) {
    if (error)
        *error = Error(PFNNetworkingErrorDomain, PFAPIJSONResponseSerializer::kBadServerResponse);
    return false;
}

}  // namespace

std::shared_ptr<PFAPIJSONResponseSerializer> PFAPIJSONResponseSerializer::serializerForRequest(
    std::shared_ptr<PFHTTPAPIRequest> request) {
    auto serializer = std::make_shared<PFAPIJSONResponseSerializer>();
    serializer->request = std::move(request);
    return serializer;
}

PFAPIJSONResponseSerializer::PFAPIJSONResponseSerializer() {
    if (acceptableContentTypes) acceptableContentTypes->insert("text/html");
}

bool PFAPIJSONResponseSerializer::validateResponseDataError(
    const platform::net::HTTPURLResponse* response,
    const platform::Data* data,
    Error* error) const {
    if (!PFNJSONResponseSerializer::validateResponseDataError(response, data, error)) return false;
    if ((error && !error->domain.empty()) || !response || !response->isHTTP()) return true;
    if (response->statusCode() < 200 || response->statusCode() >= 300 || !data)
        return reject(error);

    auto reply = platform::json::parse(data->toString());
    if (!reply || !reply->isDictionary()) {
        PFLogWarn("bad server response. raw data = %s", data->toString().c_str());
        return reject(error);
    }
    if (!request || !request->responseMask) return true;
    try {
        Error mismatch;
        if (!matchesMask(*reply, *request->responseMask, true, &mismatch)) {
            PFLogWarn(
                "failed responseMask %s",
                platform::json::serialize(Value(mismatch.userInfo), true).value_or("").c_str());
            return reject(error);
        }
    } catch (const std::exception& exception) {
        // A schema that cannot be checked does not let the reply through.
        PFLogWarn("Failed responseMask due to some run time exception %s (%s)",
                  platform::json::serialize(*reply).value_or("").c_str(), exception.what());
        return reject(error);
    } catch (...) {
        PFLogWarn("Failed responseMask due to some run time exception %s",
                  platform::json::serialize(*reply).value_or("").c_str());
        return reject(error);
    }
    return true;
}

std::shared_ptr<PFNHTTPResponseSerializer> PFAPIJSONResponseSerializer::copy() const {
    auto copy = std::make_shared<PFAPIJSONResponseSerializer>();
    copy->removesKeysWithNullValues = removesKeysWithNullValues;
    copy->readingOptions = readingOptions;
    return copy;
}
