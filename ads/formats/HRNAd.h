#pragma once
// HRNAd: one ad answer as the SDK keeps it between fetching and showing: the HTML of the ad with
// its base URL, or the URL from which the HTML is still to be fetched, with the ad's tracking
// URLs, size, orientations, refresh interval, click protection, viewability and swipe settings,
// the kind of answer, and the statistics of its load. Two sources fill it: the JSON dictionary
// of an ad that the SDK-core page answers with or that the application passes as the "_ad"
// extra (initWithDictionary), and the response headers of the ad fetch (the fetcher sets the
// header-borne fields). HRNBannerAd and HRNInterstitialAd are the forms made for banner and
// interstitial requests.
//
// Threading: made and used on the main thread, except that the fetcher fills it on the thread
// of its callbacks before handing it on. statistics() is thread-safe.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/HRNStatisticDictionary.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"
#include "platform/render/Geometry.h"

class HRNAutoClickProtection;
class HRNMRAIDEventHandling;
class HRNSwipeToViewControllerConfigurations;

// The kinds of ad answer.
enum HRNAdResponseType : int64_t {
    kHRNAdResponseTypeInvalid = 0,
    kHRNAdResponseTypeHTML = 1,       // an HTML ad of the SDK itself
    kHRNAdResponseTypeMediation = 2,  // a mediation answer (JSON)
    kHRNAdResponseTypeNative = 3,
    kHRNAdResponseTypeCustomRendering = 4,
};

class HRNAd;

// The public ad object that owns a slot, as the mediation waterfall asks it.
class HRNAdMediationDelegate {
  public:
    virtual ~HRNAdMediationDelegate() = default;
    // The name of the connector class (registered with platform/runtime) that serves a network
    // of this ad's mediation answer: "HRNMAdNetworkConnectorBanner" or
    // "HRNMAdNetworkConnectorInterstitial".
    virtual std::string connectorClassForAd(const std::shared_ptr<HRNAd>& ad) = 0;
};

class HRNAd {
  public:
    HRNAd();
    virtual ~HRNAd();
    // A new ad of this kind filled from the dictionary; every key is optional, values of the
    // wrong kind are ignored.
    static std::shared_ptr<HRNAd> initWithDictionary(const platform::Dictionary& dictionary);

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

    // Each adds the URLs to its set (a URL already there is not added again).
    void addClickURLsFromArray(const std::vector<platform::net::URL>& urls);
    void addImpressionURLsFromArray(const std::vector<platform::net::URL>& urls);
    void addManualImpressionURLsFromArray(const std::vector<platform::net::URL>& urls);
    const std::vector<platform::net::URL>& clickURLs() const { return clickURLs_; }
    const std::vector<platform::net::URL>& impressionURLs() const { return impressionURLs_; }
    const std::vector<platform::net::URL>& manualImpressionURLs() const {
        return manualImpressionURLs_;
    }
    // Click URLs are pinged at every click (the set is kept); impression URLs once (the set is
    // emptied). Without the response cache.
    void pingClickURLs();
    void pingImpressionURLs();
    void pingManualImpressionURLs();

    // The JSON of the ad's viewability configuration; std::nullopt when absent.
    const std::optional<platform::Value>& viewabilityConfigurations() const {
        return viewabilityConfigurations_;
    }
    void setViewabilityConfigurations(std::optional<platform::Value> configurations) {
        viewabilityConfigurations_ = std::move(configurations);
    }
    // 0: counted when loaded; 1: when displayed.
    int64_t impressionDefinition() const { return impressionDefinition_; }
    void setImpressionDefinition(int64_t definition) { impressionDefinition_ = definition; }
    // An interface-orientation mask; 30 (all) unless the answer named others.
    uint64_t supportedOrientations() const { return supportedOrientations_; }
    void setSupportedOrientations(uint64_t mask) { supportedOrientations_ = mask; }
    // Seconds between a banner's refreshes; 0 when the answer gave none.
    double reloadInterval() const { return reloadInterval_; }
    void setReloadInterval(double seconds) { reloadInterval_ = seconds; }
    const std::optional<std::string>& debugDialogString() const { return debugDialogString_; }
    void setDebugDialogString(std::optional<std::string> text) {
        debugDialogString_ = std::move(text);
    }
    // "WIDTHxHEIGHT" that the server imposes.
    const std::optional<std::string>& customAdSizeString() const { return customAdSizeString_; }
    void setCustomAdSizeString(std::optional<std::string> text) {
        customAdSizeString_ = std::move(text);
    }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool isFluid() const { return fluid_; }
    void setFluid(bool fluid) { fluid_ = fluid; }
    // The ad is an ad network's script, run in a page of its own; where to go without an ad.
    bool hasAdNetworkJavaScript() const { return hasAdNetworkJavaScript_; }
    const std::optional<platform::net::URL>& adNetworkPassbackURL() const {
        return adNetworkPassbackURL_;
    }
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
    // Points: how far an interstitial's size may differ from the window (10000 at start).
    double croppedContentThreshold() const { return croppedContentThreshold_; }
    void setCroppedContentThreshold(double threshold) { croppedContentThreshold_ = threshold; }
    platform::render::Size size() const { return size_; }
    void setSize(platform::render::Size size) { size_ = size; }

    std::shared_ptr<HRNMRAIDEventHandling> MRAIDEventHandler() const {
        return MRAIDEventHandler_.lock();
    }
    void setMRAIDEventHandler(std::weak_ptr<HRNMRAIDEventHandling> handler) {
        MRAIDEventHandler_ = std::move(handler);
    }
    std::shared_ptr<HRNAdMediationDelegate> mediationDelegate() const {
        return mediationDelegate_.lock();
    }
    void setMediationDelegate(std::weak_ptr<HRNAdMediationDelegate> delegate) {
        mediationDelegate_ = std::move(delegate);
    }

    const std::shared_ptr<HRNStatisticDictionary>& statistics() const { return statistics_; }

  protected:
    // The steps of initWithDictionary; subclasses read their own keys after these.
    virtual void applyDictionary(const platform::Dictionary& dictionary);
    template <typename T>
    static std::shared_ptr<HRNAd> makeWithDictionary(const platform::Dictionary& dictionary) {
        std::shared_ptr<HRNAd> ad = std::make_shared<T>();
        ad->applyDictionary(dictionary);
        return ad;
    }

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
    uint64_t supportedOrientations_ = 30;
    double reloadInterval_ = 0;
    std::optional<std::string> debugDialogString_;
    std::optional<std::string> customAdSizeString_;
    bool scrollEnabled_ = true;
    bool fluid_ = false;
    bool hasAdNetworkJavaScript_ = false;
    std::optional<platform::net::URL> adNetworkPassbackURL_;
    std::shared_ptr<HRNSwipeToViewControllerConfigurations> swipeToViewControllerConfigurations_;
    std::shared_ptr<HRNAutoClickProtection> autoClickProtection_;
    double croppedContentThreshold_ = 10000.0;
    platform::render::Size size_;
    std::weak_ptr<HRNMRAIDEventHandling> MRAIDEventHandler_;
    std::weak_ptr<HRNAdMediationDelegate> mediationDelegate_;
    std::shared_ptr<HRNStatisticDictionary> statistics_;
};

// The form made for banner requests: also reads "refresh_rate" (a number) as its reload
// interval.
class HRNBannerAd : public HRNAd {
  public:
    static std::shared_ptr<HRNAd> initWithDictionary(const platform::Dictionary& dictionary) {
        return makeWithDictionary<HRNBannerAd>(dictionary);
    }

  protected:
    void applyDictionary(const platform::Dictionary& dictionary) override;
};

// The form made for interstitial (and rewarded-video) requests.
class HRNInterstitialAd : public HRNAd {
  public:
    static std::shared_ptr<HRNAd> initWithDictionary(const platform::Dictionary& dictionary) {
        return makeWithDictionary<HRNInterstitialAd>(dictionary);
    }
};
