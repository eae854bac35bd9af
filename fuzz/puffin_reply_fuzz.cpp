// The video network's API replies: the JSON body of a 200 answer checked by the serializer the
// request manager gives every API request, against the response mask of the request's path
// (the schemas), then the request's decision whether to retry.
//
// Input: one character that picks the API path (its code modulo the number of paths below),
// then the reply's body.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "puffin/networking/PFAPIJSONResponseSerializer.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPRequestStoreBridge.h"

namespace {

// A request of each path the SDK calls, of the class its path gives it, with the serializer
// the request manager makes for it: made once (a request gathers the device's facts).
struct Call {
    std::shared_ptr<PFHTTPAPIRequest> request;
    std::shared_ptr<PFAPIJSONResponseSerializer> serializer;
};

std::vector<Call>& calls() {
    static std::vector<Call> made;
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    const std::vector<std::string> paths = {
        "/api/install",
        "/api/click",
        "/api/video-complete",
        "/api/session",
        "/api/config",
        "/api/track",
        "/api/video-prefetch",
        "/api/get_batch",
        "/more/get",
        "/more/show",
        "/inplay/get",
        "/inplay/show",
        "/reward/get",
        "/reward/show",
        "/interstitial/get",
        "/interstitial/show",
        "/post-install-event/iap",
        "/post-install-event/tracking",
        PFConfig::getAPIEndpointWebPrefetch(),
        PFConfig::getAPIEndpointRewardedWebGet(),
        PFConfig::getAPIEndpointInterstitialWebGet(),
        "/api/unknown",
    };
    for (const std::string& path : paths) {
        auto request = PFHTTPAPIRequest::createOfClass(
            PFHTTPRequestStoreBridge::requestClassForPath(path), path);
        calls().push_back({request, PFAPIJSONResponseSerializer::serializerForRequest(request)});
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Call& call = calls()[data[0] % calls().size()];
    platform::net::HeaderFields headers;
    headers.set("Content-Type", "application/json; charset=utf-8");
    const platform::net::HTTPURLResponse response(call.request->url, 200, headers);
    const platform::Data body(data + 1, size - 1);
    platform::Error error;
    auto object = call.serializer->responseObjectForResponseDataError(&response, &body, &error);
    call.request->retryForResponseError(object, error.domain.empty() ? nullptr : &error);
    return 0;
}
