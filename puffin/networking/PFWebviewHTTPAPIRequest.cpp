#include "puffin/networking/PFWebviewHTTPAPIRequest.h"

#include "puffin/networking/PFAPISchemas.h"
#include "puffin/networking/PFConfig.h"

using platform::Dictionary;
using platform::Value;

std::shared_ptr<PFWebviewHTTPAPIRequest> PFWebviewHTTPAPIRequest::create(const std::string& path) {
    return make<PFWebviewHTTPAPIRequest>(path);
}

void PFWebviewHTTPAPIRequest::initRequestBody() {
    PFHTTPAPIRequest::initRequestBody();
    for (const char* group : {"ad", "app", "device", "sdk"})
        if (!body.find(group)) (*body.dictionary())[group] = Dictionary{};
}

void PFWebviewHTTPAPIRequest::appendDeviceInfoParameters() {
    auto set = [this](const char* group, const char* key, std::optional<Value> value) {
        appendBodyArgumentKeyValue(*keyPathWithKeys({group, key}), std::move(value));
    };
    auto text = [](const std::optional<std::string>& t) {
        return t ? std::optional<Value>(*t) : std::nullopt;
    };
    auto nonEmpty = [](const std::string& t) {
        return t.empty() ? std::nullopt : std::optional<Value>(t);
    };
    set("ad", "retry_count", getRetryCount());
    set("ad", "amount", getAmount());
    set("ad", "session", getSessionCount());
    set("app", "app", text(getAppId()));
    set("app", "session_id", text(getSessionId()));
    set("app", "bundle_id", getBundleId());
    set("app", "bundle", getBundleVersion());
    set("app", "ui", getUserInterface());
    set("app", "custom_id", text(getCustomId()));
    set("app", "test_mode", getIsTestModeEnabled());
    set("device", "scale", getScreenScale());
    set("device", "dw", getDeviceWidth());
    set("device", "dh", getDeviceHeight());
    set("device", "w", getApplicationWidth());
    set("device", "h", getApplicationHeight());
    set("device", "country", getCountry());
    set("device", "identity", getIdentity());
    set("device", "model", getDeviceModel());
    set("device", "os", getSystemVersion());
    set("device", "tracking", getIsTrackingEnabled());
    set("device", "language", getLanguage());
    set("device", "timestamp", getTimestamp());
    set("device", "retina", getIsRetina());
    set("device", "is_portrait", getIsPortrait());
    set("device", "timezone", getTimezone());
    set("device", "mobile_network", getNetworkType());
    set("device", "device_type", getDeviceType());
    set("device", "device_family", text(getDeviceFamily()));
    auto carrier = getCarrierInfo();
    set("device", "carrier", carrier ? std::optional<Value>(*carrier) : std::nullopt);
    set("sdk", "sdk", getSDKVersion());
    set("sdk", "mediation", nonEmpty(getMediationLibrary()));
    set("sdk", "framework_version", nonEmpty(getFrameworkVersion()));
    set("sdk", "wrapper_version", nonEmpty(getWrapperVersion()));
}

std::optional<Dictionary> PFWebviewHTTPAPIRequest::getCarrierInfo() const {
    auto base = PFHTTPAPIRequest::getCarrierInfo();
    if (!base || base->empty()) return std::nullopt;  // no telephony
    return Dictionary{{"carrier_name", base->at("carrier-name")},
                      {"iso_country_code", base->at("iso-country-code")},
                      {"mobile_country_code", base->at("mobile-country-code")},
                      {"mobile_network_code", base->at("mobile-network-code")}};
}

void PFWebviewHTTPAPIRequest::appendShouldCache() {
    appendBodyArgumentKeyValue(*keyPathWithKeys({"ad", "cache"}), Value(true));
}

bool PFWebviewHTTPAPIRequest::signRequest() {
    appendBodyArgumentKeyValue(*keyPathWithKeys({"device", "reachability"}),
                               Value(getNetworkStatus()));
    if (!serializeBody()) {
        headers.remove("X-Puffin-Signature");
        return false;
    }
    setValueForHeader("X-Puffin-Signature", uniqueSignature());
    return true;
}

bool PFWebviewHTTPAPIRequest::incrementRetryCount() {
    ++retryCount;
    ++currentRetryCount;
    appendBodyArgumentKeyValue(*keyPathWithKeys({"ad", "retry_count"}), Value(getRetryCount()));
    return signRequest();
}

PFVMask PFWebviewHTTPAPIRequest::responseMaskForPath(const std::string& path) const {
    if (path == PFConfig::getAPIEndpointWebPrefetch()) return PFAPIMaskWebviewPrefetchResponse();
    if (path == PFConfig::getAPIEndpointRewardedWebGet() ||
        path == PFConfig::getAPIEndpointInterstitialWebGet())
        return PFAPIMaskWebviewAdResponse();
    return PFHTTPAPIRequest::responseMaskForPath(path);
}

std::shared_ptr<PFPIAHTTPAPIRequest> PFPIAHTTPAPIRequest::create(const std::string& path) {
    return make<PFPIAHTTPAPIRequest>(path);
}

bool PFPIAHTTPAPIRequest::retryForResponseError(const std::optional<Value>& responseObject,
                                                const platform::Error*) const {
    if (responseObject && responseObject->isDictionary()) {
        const Value* status = responseObject->find("status");
        if (status && (status->isInteger() || status->isReal()) && status->asReal() == 400)
            return false;
    }
    return true;
}
