#include "ads/pipeline/HRNRequest.h"

#include <mutex>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNDispatch.h"

std::shared_ptr<HRNRequest> HRNRequest::request() {
    // The class's first use starts the SDK, should it come before the launch notification.
    static std::once_flag classInitialized;
    std::call_once(classInitialized, [] {
        HRNDispatchToMainThread([] { HRNApplication::sharedInstance()->runEarlyActivities(); });
    });
    return std::make_shared<HRNRequest>();
}

const std::string& HRNRequest::sdkVersion() {
    static const std::string version = "hsdk-i-v3.1.0";
    return version;
}

std::shared_ptr<HRNRequest> HRNRequest::copy() const {
    return std::make_shared<HRNRequest>(*this);
}

platform::Dictionary HRNRequest::parameters() const {
    platform::Dictionary parameters;
    parameters["js"] = sdkVersion();
    if (!origin_.empty()) parameters["request_origin"] = origin_;
    parameters["_request_object_properties"] = platform::Dictionary{{"class", "HRNRequest"}};
    return parameters;
}

platform::Dictionary HRNRequest::threadSafeParameters() const {
    platform::Dictionary merged = parameters();
    const std::shared_ptr<HRNDevice> device = HRNDevice::sharedInstance();
    for (auto& [key, value] : device->parameters())
        merged[key] = std::move(value);
    if (auto net = device->network()->networkTypeString()) merged["net"] = *net;
    if (auto last = device->network()->lastKnownNetworkTypeString()) merged["net_last"] = *last;
    return merged;
}
