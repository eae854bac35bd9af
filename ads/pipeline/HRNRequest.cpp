#include "ads/pipeline/HRNRequest.h"

std::shared_ptr<HRNRequest> HRNRequest::request() {
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
