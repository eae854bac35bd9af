#pragma once
// HRNSlot: the per-ad-slot controller behind every ad format (interstitial, banner, rewarded
// video). It owns the ad web view and its page delegate, runs one load at a time from an
// HRNRequest to a rendered ad through its states, keeps the refresh timer, pings click and
// impression URLs, and reports to five weak delegates.
//
// A load takes one of three roads: a preset ad in the request's extras ("_ad"), a preset ad URL
// ("_requestUrl"), or the SDK-core page, which builds the ad URL from the slot's request
// parameters. The ad is fetched, routed by its kind, and an HTML ad is loaded into the ad view;
// when the page has loaded the slot is in state 6 and its load delegate hears
// slotFinishedLoadingAdContent. Every failure ends in slotDidFailToLoadAdContentWithError.
//
// States (HRNSlot+State.cpp): 0 idle, 1 SDK core failed, 2 ad URL requested, 3 ad URL received,
// 4 fetching, 5 rendering, 6 valid ad, 7 failed, 8 invalidated (terminal). Moving from 0 to 2
// lets the MRAID script be served; entering 1, 6 or 7, or a newer load cancelling one in 2 to
// 5, stops that again.
//
// Threading: main thread throughout: public calls, delegate calls, timers, notifications.
// Its parts live in HRNSlot+*.cpp files, one per concern.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/formats/HRNAdSize.h"
#include "ads/foundation/HRNAdFetcher.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNImpressionMonitor.h"
#include "ads/foundation/HRNViewabilityMonitor.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "ads/rendering/views/HRNMRAIDEventHandling.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"

class HRNAd;
class HRNAdView;
class HRNBannerAdViewDelegate;
class HRNCSITimeRecorder;
class HRNCorrelator;
class HRNIntermission;
class HRNMAdManager;
class HRNMConfig;
class HRNRequest;
class HRNSDKCoreWebView;
class HRNSlot;
class HRNSlotStatistics;

namespace platform::ui {
class ViewController;
}

// The slot's public object (the format front end). Every operation is optional; the defaults
// behave as an object that does not answer it (std::nullopt where the caller must tell).
class HRNSlotDelegate {
  public:
    virtual ~HRNSlotDelegate() = default;
    // false refuses the load; `error` may say why.
    virtual std::optional<bool> slotShouldLoadRequestError(
        HRNSlot& /*slot*/,
        const HRNRequest& /*request*/,
        std::optional<platform::Error>* /*error*/) {
        return std::nullopt;
    }
    virtual std::optional<bool> slotShouldReloadCurrentRequest(HRNSlot& /*slot*/) {
        return std::nullopt;
    }
    virtual std::optional<bool> slotShouldPreemptInProgressRequest(HRNSlot& /*slot*/) {
        return std::nullopt;
    }
    virtual std::optional<platform::ui::Rect> frame() { return std::nullopt; }
    virtual std::optional<platform::ui::Rect> bounds() { return std::nullopt; }
    // Where the ad's content is on the screen ({"x", "y", "width", "height", "visible"}).
    virtual std::optional<platform::Dictionary> coordinatesOfContentInScreen(
        const platform::ui::Screen& /*screen*/) {
        return std::nullopt;
    }
    virtual bool hasInAppPurchaseDelegate() { return false; }
    virtual std::shared_ptr<platform::ui::ViewController> rootViewController() { return nullptr; }
    virtual void slotDidReceiveAdView(HRNSlot& /*slot*/,
                                      const std::shared_ptr<platform::ui::View>& /*view*/) {}
    virtual void slotContentSizeDidChange(HRNSlot& /*slot*/, platform::ui::Size /*size*/) {}
    // Returns false when the object does not answer it.
    virtual bool setAdSizeAndReload(const HRNAdSize& /*size*/, bool /*reload*/) { return false; }
    // Boxed sizes (HRNAdSizeToNSValue); std::nullopt when the object does not answer it.
    virtual std::optional<platform::Array> validAdSizes() { return std::nullopt; }
    virtual void slotWillResizeToAdSize(HRNSlot& /*slot*/, const HRNAdSize& /*size*/) {}
    virtual void slotDidReceiveAppEventWithInfo(HRNSlot& /*slot*/,
                                                const std::string& /*name*/,
                                                const std::optional<std::string>& /*info*/) {}
    virtual std::optional<bool> slotNotifyPublisherToRenderCustomRenderingAdError(
        HRNSlot& /*slot*/,
        const std::shared_ptr<HRNAd>& /*ad*/,
        std::optional<platform::Error>* /*error*/) {
        return std::nullopt;
    }
    virtual void slotWillLoadAdWithRequest(HRNSlot& /*slot*/, const HRNRequest& /*request*/) {}
    virtual void slotDidReceiveAdClick(HRNSlot& /*slot*/) {}
    virtual std::optional<bool> slotShouldChangeAudioSessionCategoryTo(
        HRNSlot& /*slot*/,
        const std::string& /*category*/) {
        return std::nullopt;
    }
};

class HRNSlotAdLoadDelegate {
  public:
    virtual ~HRNSlotAdLoadDelegate() = default;
    virtual void slotFinishedLoadingAdContent(HRNSlot& slot) = 0;
    virtual void slotDidFailToLoadAdContentWithError(HRNSlot& slot,
                                                     const platform::Error& error) = 0;
};

class HRNSlotAdEventDelegate {
  public:
    virtual ~HRNSlotAdEventDelegate() = default;
    virtual void slotWillPresentScreen(HRNSlot& /*slot*/) {}
    virtual void slotWillDismissScreen(HRNSlot& /*slot*/) {}
    virtual void slotDidDismissScreen(HRNSlot& /*slot*/) {}
    virtual void slotWillLeaveApplication(HRNSlot& /*slot*/) {}
};

class HRNSlotAdResponseDelegate {
  public:
    virtual ~HRNSlotAdResponseDelegate() = default;
    // false without an error: the delegate took the ad.
    virtual bool slotShouldProcessAdResponseError(HRNSlot& slot,
                                                  const std::shared_ptr<HRNAd>& ad,
                                                  std::optional<platform::Error>* error) = 0;
    virtual bool slotShouldProcessMediatedAdResponseError(
        HRNSlot& slot,
        const std::shared_ptr<HRNAd>& ad,
        std::optional<platform::Error>* error) = 0;
};

class HRNSlotAdKeyDelegate {
  public:
    virtual ~HRNSlotAdKeyDelegate() = default;
    virtual void cacheViewHierarchyInformationForSlot(HRNSlot& slot) = 0;
    virtual std::optional<platform::Value> viewHierarchyInformationForSlot(HRNSlot& slot) = 0;
};

class HRNSlot : public HRNAdFetcherDelegate,
                public HRNSDKCoreControllerDelegate,
                public HRNAdViewViewabilityMonitoring,
                public HRNViewabilityMonitorDelegate,
                public HRNImpressionMonitorDelegate,
                public HRNMRAIDEventHandling,
                public std::enable_shared_from_this<HRNSlot> {
  public:
    static std::shared_ptr<HRNSlot> create(const platform::ui::Rect& frame = {});
    ~HRNSlot() override;
    std::string description() const;

    // ---- Loading (HRNSlot.cpp) ----
    void loadRequest(const std::shared_ptr<HRNRequest>& request);
    void loadNextRequestWithAutoRefresh(bool autoRefresh);
    bool shouldMakeRequest(const std::shared_ptr<HRNRequest>& request);
    void loadAdHeaders(const std::shared_ptr<HRNAd>& ad,
                       const platform::Dictionary& headers) override;
    bool isMakingRequest() const;
    void cancelLoad();
    void cancelPendingActions();
    void cancelPendingAndFutureActions();
    void invalidate();
    void setAdTypeAndReloadRequest(const std::shared_ptr<HRNAdType>& type, bool reload);
    void processStandardAdResponse(const std::shared_ptr<HRNAd>& ad);
    void processCustomRenderingAdResponse(const std::shared_ptr<HRNAd>& ad);
    void renderPendingCustomRenderingAd();
    void finishedLoadingAdResponse(const std::shared_ptr<HRNAd>& ad);
    void setViewForAdUsingView(const std::shared_ptr<platform::ui::View>& view);
    static bool validateAdResponseWithAdSizeAndValidAdSizes(const HRNAdSize& size,
                                                            const platform::Array& validAdSizes);
    void startImpressionMonitoring();
    void sendCSIAdLoadTimings();
    bool isMRAIDEnabled() const;
    void pingClickURLs();
    void pingImpressionURLs();
    void pingManualTrackingURLs();
    // Whether the URL's host ends in one of the ad servers' domains (whole host labels).
    bool isHeronAdURL(const platform::net::URL& url) const;
    // The click URL with its click-signal entry, for a URL of the ad servers with an "ai".
    platform::net::URL gestureClickURLWithURL(const platform::net::URL& url);
    void logRequestTestAdInstructions();

    // Refresh: a one-shot timer of reloadInterval seconds (at least 1, else none).
    void scheduleAdReloadTimer();
    void deactivateReloadTimer();
    void reloadCurrentRequest();
    void mediatedAdNetworkAutoRefreshed() { hasAutoRefreshed_ = true; }
    void bannerDidMoveToWindow(const std::shared_ptr<platform::ui::View>& window);
    void interstitialViewWillAppear();
    void interstitialViewWillDisappear();

    // HRNAdFetcherDelegate
    void adFetcherDidFetchAd(HRNAdFetcher& fetcher, const std::shared_ptr<HRNAd>& ad) override;
    void adFetcherDidFailToFetchAdWithErrorResponseCode(HRNAdFetcher& fetcher,
                                                        const std::shared_ptr<HRNAd>& ad,
                                                        const HRNRequestError& error,
                                                        int64_t responseCode) override;

    // ---- States (HRNSlot+State.cpp) ----
    int64_t state() const { return state_; }
    void setState(int64_t state);
    void resetState();
    void resetRequestState();
    void invalidateState();
    // Whether this slot's load counts in the MRAID interceptor's counter.
    bool holdsMRAIDInterception() const { return holdsMRAIDInterception_; }
    void willRequestAdURL();
    void didReceiveAdURL();
    void didFailToRetrieveSDKCoreWithError(const platform::Error& error);
    void willFetchAdContent();
    void didFetchAdContent();
    void willProcessMediationResponse();
    void willStartAdRendering();
    void willLoadAdHTMLInWebView();
    void didLoadAdHTMLInWebView();
    void didReceiveValidAd();
    void didFailToReceiveAdWithErrorShouldCancelPendingActions(
        const std::optional<platform::Error>& error,
        bool cancelPendingActions);
    void didMakeAdImpression();
    void willLeaveAppDueToClick();

    // ---- The SDK core's requester (HRNSlot+SDKCoreControllerDelegate.cpp) ----
    std::shared_ptr<HRNCSITimeRecorder> adLoadActionTimeRecorder() override {
        return adLoadActionTimeRecorder_;
    }
    std::optional<platform::Dictionary> requestParameters() override;
    int64_t requestedAdType() override;
    void setRequestID(const std::string& requestID) override { requestID_ = requestID; }
    void loadAdURLWithParameters(const platform::Dictionary& parameters) override;
    void invalidJavaScriptRequest() override;
    void failedJavaScriptFile() override;
    void requestDidTimeOut() override;
    static std::string multipleAdSizeParameterFromSizes(const platform::Array& sizes);

    // ---- Events (HRNSlot+Events.cpp) ----
    void processAdResponse(const std::shared_ptr<HRNAd>& ad);
    void willProcessAd();
    void adFailedToReceiveContentWithError(const platform::Error& error);
    void adFinishedLoadingContent();
    void adWasClicked();
    void adWillPresentScreen();
    void adWillDismissScreen();
    void adDidDismissScreen();
    void adWillLeaveApplication();
    bool shouldChangeAudioSessionCategoryTo(const std::string& category);
    void postVolumeNotification();
    void updateContentSize(platform::ui::Size size);
    void impressionMonitorDidMonitorImpression(HRNImpressionMonitor& monitor) override;
    void beginListeningToDeviceOrientationChangeEvent();
    void endListeningToDeviceOrientationChangeEvent();
    void didChangeDeviceOrientation();

    // ---- Viewability (HRNSlot+ViewabilityMonitor.cpp) ----
    bool monitoredViewVisible() const { return monitoredViewVisible_; }
    bool viewHasMadeImpression() const { return viewHasMadeImpression_; }
    void setViewHasMadeImpression(bool made) { viewHasMadeImpression_ = made; }
    void viewabilityVisibilityChanged(bool visible) override;
    bool viewabilityMonitoringStarted() override;
    void viewabilityMonitoringDidStop() override;
    bool monitoredViewIsSubviewOfDeviceScreen() const;
    void createViewabilityMonitor();
    void startViewabilityReportingIfEnabled();
    void finishViewabilityReporting();
    void unloadViewabilityMonitor();
    void viewabilityMonitorWillUnload();
    void viewabilityMonitorDidRefresh(HRNViewabilityMonitor& monitor) override;
    std::optional<bool> isMRAIDEnabledForViewabilityMonitor(
        HRNViewabilityMonitor& monitor) override;
    std::optional<uint64_t> identifierForViewabilityMonitor(
        HRNViewabilityMonitor& monitor) override;
    std::optional<std::string> viewabilityJSCommandWithParams(
        const std::optional<platform::Dictionary>& parameters) const;
    std::string adFormat() const;
    bool canEnableViewabilityMonitoring() const;

    // ---- MRAID reporting (HRNSlot+MRAID.cpp) ----
    void MRAIDAdDidLoad();
    void MRAIDAdDidUnload() override;
    void updatePositionFromView(const std::shared_ptr<platform::ui::View>& view) override;
    void updateVisibility(bool visible) override;
    void notifyOrientationToMRAIDCreative();
    void notifyDeviceFeatures();
    void SDKDidBecomeReady();
    // "p" or "l" for the orientation an ad-app controller forces on the ad, else std::nullopt.
    std::optional<std::string> forcedAdOrientation() const;
    void handleErrorAction(const std::string& message, const std::string& action) override;

    // ---- Mediation (HRNSlot+Mediation.cpp) ----
    // The slot's current ad is a mediation answer (response type 2).
    bool isMediating() const;
    // Resizes a mediated banner (never to or from an interstitial); false when it cannot.
    bool changeAdTypeTo(const std::shared_ptr<HRNAdType>& type);
    // Decodes the answer, checks it against the slot's ad type and starts the waterfall; every
    // failure ends in the slot's failure state.
    void processMediationAdResponse(const std::shared_ptr<HRNAd>& ad);
    void requestAdWithTypeMediationConfig(const std::shared_ptr<HRNAdType>& type,
                                          const std::shared_ptr<HRNMConfig>& config);
    // Reports a mismatch to the slot (codes 0, 7, 10) and answers false.
    bool hasConsistentMediationConfigForAdType(const std::shared_ptr<HRNAdType>& type);
    // In state 6: the adapter class of the mediated network shown, or "HRNMAdapterHeronAds"
    // for the SDK's own ad; std::nullopt otherwise.
    std::optional<std::string> adNetworkClassName() const;
    void presentMediatedInterstitialFromRootViewController(
        const std::shared_ptr<platform::ui::ViewController>& root);
    std::shared_ptr<platform::ui::ViewController> viewControllerForPresentingModalView();
    const std::shared_ptr<HRNMAdManager>& mediationManager() const { return mediationManager_; }
    const std::shared_ptr<HRNMConfig>& mediationConfiguration() const {
        return mediationConfiguration_;
    }

    // ---- Swipe to view controller (HRNSlot+SwipeToViewController.cpp) ----
    void scheduleSwipeToViewControllerChecker();
    void unscheduleSwipeToViewControllerChecker();
    void enableSwipeToViewController();
    void disableSwipeToViewController();

    // ---- Ad-network scripts (HRNSlot+AdNetworkJavaScript.cpp) ----
    void loadAdNetworkJavaScriptRequest(const std::shared_ptr<HRNAd>& ad);

    // ---- Properties ----
    const std::optional<std::string>& adUnitID() const { return adUnitID_; }
    void setAdUnitID(std::optional<std::string> adUnitID);
    const std::shared_ptr<HRNAdType>& adType() const { return adType_; }
    const std::shared_ptr<HRNAd>& ad() const { return ad_; }
    const std::shared_ptr<HRNAd>& loadingAd() const { return loadingAd_; }
    const std::shared_ptr<HRNRequest>& loadingRequest() const { return loadingRequest_; }
    const std::shared_ptr<HRNAdView>& adView() const { return adView_; }
    const std::shared_ptr<HRNBannerAdViewDelegate>& adViewDelegate() const {
        return adViewDelegate_;
    }
    const std::optional<std::string>& requestID() const { return requestID_; }
    double reloadInterval() const { return reloadInterval_; }
    // Stored when at least 1.0, else 0.
    void setReloadInterval(double seconds);
    bool reloadable() const { return reloadable_; }
    void setReloadable(bool reloadable) { reloadable_ = reloadable; }
    bool hasAutoRefreshed() const { return hasAutoRefreshed_; }
    const std::shared_ptr<platform::Timer>& reloadTimer() const { return reloadTimer_; }
    std::optional<double> timeLastLoaded() const { return timeLastLoaded_; }
    bool manualImpressionsEnabled() const { return manualImpressionsEnabled_; }
    void setManualImpressionsEnabled(bool enabled) { manualImpressionsEnabled_ = enabled; }
    bool calledLoadAndDisplayRequest() const { return calledLoadAndDisplayRequest_; }
    void setCalledLoadAndDisplayRequest(bool called) { calledLoadAndDisplayRequest_ = called; }
    const std::shared_ptr<HRNCorrelator>& correlator() const { return correlator_; }
    void setCorrelator(std::shared_ptr<HRNCorrelator> correlator) {
        correlator_ = std::move(correlator);
    }
    const std::optional<platform::Dictionary>& applicationStatistics() const {
        return applicationStatistics_;
    }
    const std::shared_ptr<HRNSlotStatistics>& slotStats() const { return slotStats_; }
    std::shared_ptr<platform::ui::View> placement() const { return placement_.lock(); }
    void setPlacement(const std::shared_ptr<platform::ui::View>& placement);
    // A full-screen format's placement is the format object itself (the interstitial), not a
    // view; held weakly like the view.
    std::shared_ptr<void> placementObject() const { return placementObject_.lock(); }
    void setPlacementObject(std::weak_ptr<void> placement) {
        placementObject_ = std::move(placement);
    }
    std::shared_ptr<HRNIntermission> intermission() const { return intermission_.lock(); }
    void setIntermission(std::weak_ptr<HRNIntermission> intermission) {
        intermission_ = std::move(intermission);
    }
    const std::shared_ptr<HRNViewabilityMonitor>& viewabilityMonitor() const {
        return viewabilityMonitor_;
    }
    const std::shared_ptr<HRNSDKCoreWebView>& SDKCoreWebView() const { return SDKCoreWebView_; }
    uint64_t viewabilityID() const { return viewabilityID_; }
    bool sendViewabilityMessagesToAdView() const { return sendViewabilityMessagesToAdView_; }
    platform::ui::Size newAdSize() const { return newAdSize_; }
    void setNewAdSize(platform::ui::Size size) { newAdSize_ = size; }

    std::shared_ptr<HRNSlotDelegate> slotDelegate() const { return slotDelegate_.lock(); }
    void setSlotDelegate(std::weak_ptr<HRNSlotDelegate> delegate) {
        slotDelegate_ = std::move(delegate);
    }
    std::shared_ptr<HRNSlotAdLoadDelegate> adLoadDelegate() const { return adLoadDelegate_.lock(); }
    void setAdLoadDelegate(std::weak_ptr<HRNSlotAdLoadDelegate> delegate) {
        adLoadDelegate_ = std::move(delegate);
    }
    std::shared_ptr<HRNSlotAdEventDelegate> adEventDelegate() const {
        return adEventDelegate_.lock();
    }
    void setAdEventDelegate(std::weak_ptr<HRNSlotAdEventDelegate> delegate) {
        adEventDelegate_ = std::move(delegate);
    }
    std::shared_ptr<HRNSlotAdResponseDelegate> adResponseDelegate() const {
        return adResponseDelegate_.lock();
    }
    void setAdResponseDelegate(std::weak_ptr<HRNSlotAdResponseDelegate> delegate) {
        adResponseDelegate_ = std::move(delegate);
    }
    std::shared_ptr<HRNSlotAdKeyDelegate> adKeyDelegate() const { return adKeyDelegate_.lock(); }
    void setAdKeyDelegate(std::weak_ptr<HRNSlotAdKeyDelegate> delegate) {
        adKeyDelegate_ = std::move(delegate);
    }

    // Notification names the slot posts.
    static constexpr const char* kDidLeaveWindowNotification = "HRNSlotDidLeaveWindowNotification";
    static constexpr const char* kCreativeOrientationChangedNotification =
        "hrn_slot_creative_orientation_changed";

  private:
    explicit HRNSlot(const platform::ui::Rect& frame);
    void setUp();
    void releaseMRAIDInterception();
    void observe(const std::string& name, std::function<void()> action);

    int64_t state_ = 0;
    bool holdsMRAIDInterception_ = false;
    uint64_t viewabilityID_ = 0;
    std::shared_ptr<HRNImpressionMonitor> impressionMonitor_;
    std::shared_ptr<HRNMAdManager> mediationManager_;
    std::shared_ptr<HRNMConfig> mediationConfiguration_;
    bool slotHasAttemptedAnAdRequestAtLeastOnce_ = false;
    bool isListeningToDeviceOrientationChangeEvent_ = false;
    std::shared_ptr<HRNAd> pendingCustomRenderingAd_;
    std::shared_ptr<HRNCSITimeRecorder> adLoadActionTimeRecorder_;
    std::shared_ptr<HRNViewabilityMonitor> viewabilityMonitor_;
    bool sendViewabilityMessagesToAdView_ = false;
    bool viewHasMadeImpression_ = false;
    bool monitoredViewVisible_ = false;
    bool hasAutoRefreshed_ = false;
    bool reloadable_ = true;
    bool manualImpressionsEnabled_ = false;
    bool calledLoadAndDisplayRequest_ = false;
    bool adCustomRendered_ = false;
    std::weak_ptr<HRNSlotDelegate> slotDelegate_;
    std::weak_ptr<HRNSlotAdLoadDelegate> adLoadDelegate_;
    std::weak_ptr<HRNSlotAdEventDelegate> adEventDelegate_;
    std::weak_ptr<HRNSlotAdResponseDelegate> adResponseDelegate_;
    std::weak_ptr<HRNSlotAdKeyDelegate> adKeyDelegate_;
    std::optional<std::string> adUnitID_;
    std::shared_ptr<HRNAd> ad_;
    std::shared_ptr<HRNAdType> adType_;
    std::shared_ptr<HRNRequest> loadingRequest_;
    std::shared_ptr<HRNCorrelator> correlator_;
    std::optional<double> timeLastLoaded_;  // milliseconds of the monotonic clock
    std::shared_ptr<HRNAdView> adView_;
    std::shared_ptr<HRNSlotStatistics> slotStats_;
    std::weak_ptr<HRNIntermission> intermission_;
    std::weak_ptr<platform::ui::View> placement_;
    std::weak_ptr<void> placementObject_;
    std::shared_ptr<HRNBannerAdViewDelegate> adViewDelegate_;
    std::shared_ptr<HRNAd> loadingAd_;
    std::shared_ptr<HRNAdFetcher> adFetcher_;
    std::optional<platform::Dictionary> applicationStatistics_;
    HRNApplication::AdStatisticsSet pendingAdStatistics_;
    std::shared_ptr<platform::Timer> reloadTimer_;
    double reloadInterval_ = 60.0;
    std::optional<std::string> requestID_;
    std::shared_ptr<HRNRequest> nextRequest_;
    std::shared_ptr<HRNSDKCoreWebView> SDKCoreWebView_;
    std::shared_ptr<platform::ui::View> viewabilityMonitoredView_;
    platform::ui::Size newAdSize_;
    // What the MRAID creative was last told (zero after MRAIDAdDidLoad).
    platform::ui::Rect usableInterfaceFrame_;
    platform::ui::Rect creativeWebViewFrame_;
    platform::ui::Rect creativeAdFrame_;
    std::vector<platform::NotificationCenter::Token> observers_;
    platform::NotificationCenter::Token orientationObserver_ = 0;
};
