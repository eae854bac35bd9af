#pragma once
// HRNSDKCoreController: the process-wide object that turns an ad request into an ad URL or an
// ad. It owns the hidden SDK-core page (the active page), keeps the requesters that wait for
// the page, sends the page one script call per requester ("HSDK_getAd", or
// "HSDK_getAdapterLessMediationAd" when the parameters name a URL mediation), asks the page
// once per load for the SDK's settings ("HSDK_getSdkConstants", stored as the settings every
// part reads), and routes the page's answers back to the requester they belong to by request
// ID ("1", "2", ... for the life of the process). It reloads the page at the next request when
// the page is new or failed, more than an hour old, or never loaded. It also lends SDK-core
// pages to viewability measurement, with a small unload cache that keeps returned pages alive
// while they still measure units, and holds two sampling intervals.
//
// Every requester hears exactly one answer: an ad URL, an ad, invalidJavaScriptRequest (the
// page refused the request; the requester had no parameters, or they could not be written as
// JSON), failedJavaScriptFile (the page failed to load; the call was pushed out of the page's
// full command queue) or requestDidTimeOut (no answer came within kRequestTimeout seconds of
// buildAdURL, on platform::Clock).
//
// Threading: one instance, made on first use from any thread. The ad-request fields live on
// the serial lock queue ("com.heron.ads.sdk-core-controller"), reached asynchronously; the
// viewability fields are guarded by a mutex and reached synchronously. Requester calls (their
// parameters, their answers) come on the main queue; a requester is held strongly while it
// waits and called through a weak reference, so one freed meanwhile is skipped. The page's
// state is read from a global queue; the lock queue never waits for the main thread.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/pipeline/core/HRNSDKCoreHMSGHandler.h"
#include "ads/pipeline/core/HRNSDKCoreWebView.h"
#include "platform/foundation/Value.h"

class HRNAd;
class HRNCSITimeRecorder;

namespace platform {
class Queue;
}

// How a slot, the rewarded video or a mediation adapter asks for an ad and hears the answer.
// Every operation is called on the main thread.
class HRNSDKCoreControllerDelegate {
  public:
    virtual ~HRNSDKCoreControllerDelegate() = default;
    virtual std::shared_ptr<HRNCSITimeRecorder> adLoadActionTimeRecorder() = 0;
    // The request parameters to send; std::nullopt when there are none.
    virtual std::optional<platform::Dictionary> requestParameters() = 0;
    // 0 any ad, 1 banner, 2 interstitial.
    virtual int64_t requestedAdType() = 0;
    virtual void setRequestID(const std::string& requestID) = 0;
    virtual void loadAdURLWithParameters(const platform::Dictionary& parameters) = 0;
    virtual void loadAdHeaders(const std::shared_ptr<HRNAd>& ad,
                               const platform::Dictionary& headers) = 0;
    virtual void invalidJavaScriptRequest() = 0;
    virtual void failedJavaScriptFile() = 0;
    // No answer came in time; a requester that does not say otherwise hears it as a page that
    // failed.
    virtual void requestDidTimeOut() { failedJavaScriptFile(); }
};

class HRNSDKCoreController : public HRNSDKCoreWebViewNotification,
                             public HRNSDKCoreHMSGHandlerDelegate,
                             public std::enable_shared_from_this<HRNSDKCoreController> {
  public:
    // Seconds a requester waits for the page's answer, from buildAdURL on.
    static constexpr double kRequestTimeout = 30;
    // Milliseconds after which the page is reloaded at the next request.
    static constexpr uint64_t kRefreshInterval = 3600000;

    static std::shared_ptr<HRNSDKCoreController> sharedInstance();
    ~HRNSDKCoreController() override;

    // Asks for an ad for the requester; returns at once, the answer comes on the main queue.
    void buildAdURL(const std::shared_ptr<HRNSDKCoreControllerDelegate>& requester);
    // The parameters as compact JSON (made JSON-safe first); std::nullopt without parameters or
    // when they cannot be written.
    static std::optional<std::string> adRequestParameterJSONFromParameters(
        const std::optional<platform::Dictionary>& parameters);

    const std::shared_ptr<HRNSDKCoreWebView>& activeSDKCoreWebView() const {
        return activeSDKCoreWebView_;
    }
    // Request IDs whose call was sent and whose answer is awaited (lock queue, synchronously).
    std::vector<std::string> pendingBuildAdURLRequestIDs() const;

    // Seconds between viewability samples (0.4 unless set) and between swipe-to-view checks.
    double viewabilitySamplingInterval() const;
    void setViewabilitySamplingInterval(double interval);
    double swipeToViewSamplingInterval() const;
    void setSwipeToViewSamplingInterval(double interval);
    // Kept for readers; nothing sets it yet.
    std::optional<platform::Array> viewabilityMonitorRefreshIntervals() const;

    // The page a slot's viewability script runs in: the shared page (made and loaded on first
    // use, or again after the core page asked for a reload), or a new loading page for every use
    // when useNewWebViewsForViewabilityProcessing is on. Prunes the unload cache first.
    std::shared_ptr<HRNSDKCoreWebView> SDKCoreWebViewForViewabilityProcessing();
    // Hands a lent page back: one that still measures a unit goes to the unload cache.
    void finishedUsingSDKCoreWebViewForViewabilityProcessing(
        const std::shared_ptr<HRNSDKCoreWebView>& webView);
    void cacheRunningViewabilityWebView(const std::shared_ptr<HRNSDKCoreWebView>& webView);
    // Keeps the newest pages that still measure units, at most viewabilityUnloadCacheMaxSize;
    // the others are cleared (their observers hear viewabilityMonitoringDidStop) and let go.
    void removeFinishedViewabilityWebViews();
    void setUseNewWebViewsForViewabilityProcessing(bool useNew);
    void setViewabilityUnloadCacheMaxSize(uint64_t size);  // 0 keeps the current size
    std::vector<std::shared_ptr<HRNSDKCoreWebView>> viewabilitySDKCoreWebViews() const;

    // The page's constants arrived: stored as the SDK's settings (HRNSDKCoreController+Settings).
    void storeSDKConstants(const platform::Dictionary& constants);
    // Whether the next finished page load asks for the constants (lock queue, synchronously).
    bool SDKConstantsNeedReload() const;

    // HRNSDKCoreWebViewNotification
    void didFinishLoadingSDKCoreInSDKCoreWebView(
        const std::shared_ptr<HRNSDKCoreWebView>& webView) override;
    // HRNSDKCoreHMSGHandlerDelegate
    void SDKCoreHMSGHandlerLoadAdURLWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Dictionary& parameters) override;
    void SDKCoreHMSGHandlerLoadAdWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Value& parameters) override;
    void SDKCoreHMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Dictionary& parameters) override;
    void SDKCoreHMSGHandlerDidLoadSDKConstants(HRNSDKCoreHMSGHandler& handler,
                                               const platform::Dictionary& constants) override;
    void SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification(
        HRNSDKCoreHMSGHandler& handler) override;

    HRNSDKCoreController(const HRNSDKCoreController&) = delete;
    HRNSDKCoreController& operator=(const HRNSDKCoreController&) = delete;

  private:
    // A requester with the number of its buildAdURL, which its time-out looks for.
    struct Pending {
        std::shared_ptr<HRNSDKCoreControllerDelegate> requester;
        uint64_t ticket = 0;
    };

    HRNSDKCoreController();
    void attemptToRefreshActiveWebViewSDKCore();
    void refreshActiveWebViewSDKCore();
    void observeSDKCoreWebViewForSDKCoreLoadRequestCompleted();
    // Lock queue.
    void asynchronouslyRequestURLForDelegate(Pending pending);
    void sendRequestWithParameters(Pending pending,
                                   const std::string& requestID,
                                   const std::optional<platform::Dictionary>& parameters);
    std::optional<Pending> takeRequester(const std::optional<std::string>& requestID);
    void timeOut(uint64_t ticket);
    static void answerOnMainQueue(const std::shared_ptr<HRNSDKCoreControllerDelegate>& requester,
                                  std::function<void(HRNSDKCoreControllerDelegate&)> answer);

    std::shared_ptr<platform::Queue> lockQueue_;
    // On the lock queue.
    std::vector<Pending> pendingActiveWebViewLoadDelegates_;
    std::map<std::string, Pending> pendingBuildAdURLDelegates_;
    uint64_t requestID_ = 1;
    uint64_t nextTicket_ = 1;
    uint64_t lastWebViewRefreshTimestamp_ = 0;
    bool SDKConstantsNeedReload_ = true;
    std::shared_ptr<HRNSDKCoreWebView> activeSDKCoreWebView_;

    mutable std::mutex mutex_;  // guards the fields below
    std::shared_ptr<HRNSDKCoreWebView> viewabilitySDKCoreWebView_;
    bool SDKCoreUpdateHandled_ = false;
    bool useNewWebViewsForViewabilityProcessing_ = false;
    std::vector<std::shared_ptr<HRNSDKCoreWebView>> viewabilitySDKCoreWebViews_;  // oldest first
    uint64_t viewabilityUnloadCacheMaxSize_ = 3;
    double viewabilitySamplingInterval_ = 0.4;
    double swipeToViewSamplingInterval_ = 0;
    std::optional<platform::Array> viewabilityMonitorRefreshIntervals_;
};
