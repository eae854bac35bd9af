#pragma once
// HRNExtras: the extras through which an application (and the SDK itself) adds free-form
// parameters to a request for the SDK's own ads. The SDK reads a few keys itself: "_ad" and
// "_adHeaders" (a preset ad and its headers), "_requestUrl", "_orientation" and "_useOnce"; the
// others travel with the request as its "extras" parameter.
//
// Plain value object: not thread-safe.

#include <memory>
#include <optional>
#include <string>

#include "ads/pipeline/HRNAdNetworkExtras.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"

class HRNAd;

class HRNExtras : public HRNAdNetworkExtras {
  public:
    HRNExtras() = default;
    explicit HRNExtras(platform::Dictionary additionalParameters)
        : additionalParameters_(std::move(additionalParameters)) {}

    std::string className() const override { return "HRNExtras"; }

    const platform::Dictionary& additionalParameters() const { return additionalParameters_; }
    void setAdditionalParameters(platform::Dictionary parameters) {
        additionalParameters_ = std::move(parameters);
    }

    // The entries that are objects rather than values: "_ad" as an ad itself (its dictionary
    // form is an entry of additionalParameters) and "_requestUrl" as a URL.
    const std::shared_ptr<HRNAd>& ad() const { return ad_; }
    void setAd(std::shared_ptr<HRNAd> ad) { ad_ = std::move(ad); }
    const std::optional<platform::net::URL>& requestURL() const { return requestURL_; }
    void setRequestURL(std::optional<platform::net::URL> url) { requestURL_ = std::move(url); }

  private:
    platform::Dictionary additionalParameters_;
    std::shared_ptr<HRNAd> ad_;
    std::optional<platform::net::URL> requestURL_;
};
