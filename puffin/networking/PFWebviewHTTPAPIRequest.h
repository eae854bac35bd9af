#pragma once
// API requests of the web-view ad endpoints (template prefetch, rewarded and interstitial
// web-view ads), whose server expects the standard facts grouped into the objects "ad", "app",
// "device" and "sdk". Threading as PFHTTPAPIRequest.

#include "puffin/networking/PFHTTPAPIRequest.h"

class PFWebviewHTTPAPIRequest : public PFHTTPAPIRequest {
  public:
    static std::shared_ptr<PFWebviewHTTPAPIRequest> create(const std::string& path);
    std::string className() const override { return "PFWebviewHTTPAPIRequest"; }

    void initRequestBody() override;
    void appendDeviceInfoParameters() override;
    // std::nullopt without telephony (the "carrier" entry is then left out).
    std::optional<platform::Dictionary> getCarrierInfo() const override;
    void appendShouldCache() override;  // "ad.cache" = true
    bool signRequest() override;        // "reachability" inside "device"
    bool incrementRetryCount() override;
    // The prefetch endpoint and the two web-view ad endpoints by text; others as the base.
    PFVMask responseMaskForPath(const std::string& path) const override;

  protected:
    friend class PFHTTPAPIRequest;
    PFWebviewHTTPAPIRequest() = default;
};

// API requests of the post-install event endpoints: a request the server refused with status
// 400 is dropped instead of retried.
class PFPIAHTTPAPIRequest : public PFHTTPAPIRequest {
  public:
    static std::shared_ptr<PFPIAHTTPAPIRequest> create(const std::string& path);
    std::string className() const override { return "PFPIAHTTPAPIRequest"; }
    bool retryForResponseError(const std::optional<platform::Value>& responseObject,
                               const platform::Error* error) const override;

  protected:
    friend class PFHTTPAPIRequest;
    PFPIAHTTPAPIRequest() = default;
};
