#pragma once
// HRNAd: one ad as the ad server answered it: the kind of answer, the page (HTML and base URL) or
// the ad URL to load, the response headers, the tracking URL lists, and the presentation facts
// the "x-hsdk-..." headers set (orientations, reload interval, impression definition,
// viewability configuration, scrolling, fluid height, swipe and auto-click settings). The ad
// fetcher fills it; slots and formats read it. The ad's statistics live in its own
// HRNStatisticDictionary.
//
// Threading: main thread (the fetcher and the slot that own it run there); statistics() is
// thread-safe.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/HRNStatisticDictionary.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"

class HRNAutoClickProtection;
class HRNSwipeToViewControllerConfigurations;

// The kinds of ad answer.
enum HRNAdResponseType : int64_t {
    kHRNAdResponseTypeInvalid = 0,
    kHRNAdResponseTypeHTML = 1,       // an HTML ad of the SDK itself
    kHRNAdResponseTypeMediation = 2,  // a mediation answer (JSON)
    kHRNAdResponseTypeNative = 3,
    kHRNAdResponseTypeCustomRendering = 4,
};

class HRNAd {
  public:
    HRNAd();

    int64_t responseType() const { return responseType_; }
    void setResponseType(int64_t type) { responseType_ = type; }
    const std::string& adHTML() const { return adHTML_; }
    void setAdHTML(std::string html) { adHTML_ = std::move(html); }
    const std::optional<platform::net::URL>& adBaseURL() const { return adBaseURL_; }
    void setAdBaseURL(std::optional<platform::net::URL> url) { adBaseURL_ = std::move(url); }
    const std::optional<platform::net::URL>& adURL() const { return adURL_; }
    void setAdURL(std::optional<platform::net::URL> url) { adURL_ = std::move(url); }
    // Header names in lower case.
    const platform::Dictionary& responseHeaders() const { return responseHeaders_; }
    void setResponseHeaders(platform::Dictionary headers) { responseHeaders_ = std::move(headers); }

    // Each appends the URLs to its list.
    void addClickURLsFromArray(const std::vector<platform::net::URL>& urls);
    void addImpressionURLsFromArray(const std::vector<platform::net::URL>& urls);
    void addManualImpressionURLsFromArray(const std::vector<platform::net::URL>& urls);
    const std::vector<platform::net::URL>& clickURLs() const { return clickURLs_; }
    const std::vector<platform::net::URL>& impressionURLs() const { return impressionURLs_; }
    const std::vector<platform::net::URL>& manualImpressionURLs() const {
        return manualImpressionURLs_;
    }

    // The JSON of the response's viewability configuration; std::nullopt when absent.
    const std::optional<platform::Value>& viewabilityConfigurations() const {
        return viewabilityConfigurations_;
    }
    void setViewabilityConfigurations(std::optional<platform::Value> configurations) {
        viewabilityConfigurations_ = std::move(configurations);
    }
    // 0: counted when loaded; 1: when displayed.
    int64_t impressionDefinition() const { return impressionDefinition_; }
    void setImpressionDefinition(int64_t definition) { impressionDefinition_ = definition; }
    // An interface-orientation mask; 0 when the answer named none.
    uint64_t supportedOrientations() const { return supportedOrientations_; }
    void setSupportedOrientations(uint64_t mask) { supportedOrientations_ = mask; }
    // Seconds; std::nullopt when the answer gave none.
    const std::optional<double>& reloadInterval() const { return reloadInterval_; }
    void setReloadInterval(std::optional<double> seconds) { reloadInterval_ = seconds; }
    const std::optional<std::string>& debugDialogString() const { return debugDialogString_; }
    void setDebugDialogString(std::optional<std::string> text) {
        debugDialogString_ = std::move(text);
    }
    const std::optional<std::string>& customAdSizeString() const { return customAdSizeString_; }
    void setCustomAdSizeString(std::optional<std::string> text) {
        customAdSizeString_ = std::move(text);
    }
    bool scrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool fluid() const { return fluid_; }
    void setFluid(bool fluid) { fluid_ = fluid; }
    const std::shared_ptr<HRNSwipeToViewControllerConfigurations>&
    swipeToViewControllerConfigurations() const {
        return swipeToViewControllerConfigurations_;
    }
    void setSwipeToViewControllerConfigurations(
        std::shared_ptr<HRNSwipeToViewControllerConfigurations> configurations) {
        swipeToViewControllerConfigurations_ = std::move(configurations);
    }
    const std::shared_ptr<HRNAutoClickProtection>& autoClickProtection() const {
        return autoClickProtection_;
    }
    void setAutoClickProtection(std::shared_ptr<HRNAutoClickProtection> protection) {
        autoClickProtection_ = std::move(protection);
    }

    const std::shared_ptr<HRNStatisticDictionary>& statistics() const { return statistics_; }

  private:
    int64_t responseType_ = kHRNAdResponseTypeInvalid;
    std::string adHTML_;
    std::optional<platform::net::URL> adBaseURL_;
    std::optional<platform::net::URL> adURL_;
    platform::Dictionary responseHeaders_;
    std::vector<platform::net::URL> clickURLs_;
    std::vector<platform::net::URL> impressionURLs_;
    std::vector<platform::net::URL> manualImpressionURLs_;
    std::optional<platform::Value> viewabilityConfigurations_;
    int64_t impressionDefinition_ = 0;
    uint64_t supportedOrientations_ = 0;
    std::optional<double> reloadInterval_;
    std::optional<std::string> debugDialogString_;
    std::optional<std::string> customAdSizeString_;
    bool scrollEnabled_ = true;
    bool fluid_ = false;
    std::shared_ptr<HRNSwipeToViewControllerConfigurations> swipeToViewControllerConfigurations_;
    std::shared_ptr<HRNAutoClickProtection> autoClickProtection_;
    std::shared_ptr<HRNStatisticDictionary> statistics_;
};
