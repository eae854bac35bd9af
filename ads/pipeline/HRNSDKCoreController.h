#pragma once
// HRNSDKCoreController: the process-wide owner of the SDK-core pages. This slice holds what
// viewability measurement asks of it: the sampling interval, and lending SDK-core pages to the
// slots that measure in them (one shared page, or a fresh one per use when the server asks),
// with a small unload cache that keeps returned pages alive while they still measure units. The
// ad-request side (the active page, "HSDK_getAd" calls and the page's answers) joins it with the
// request pipeline.
//
// Threading: one instance, made on first use from any thread. Its fields are guarded by a lock
// that never waits for the main thread; every operation may be called from any thread. Pages
// set aside by the cache are cleared outside the lock, on the calling thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class HRNSDKCoreWebView;

class HRNSDKCoreController {
  public:
    static std::shared_ptr<HRNSDKCoreController> sharedInstance();

    // Seconds between viewability samples: 0.4 unless set.
    double viewabilitySamplingInterval() const;
    void setViewabilitySamplingInterval(double interval);

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

    // The core page asked for a reload: the next viewability use makes a fresh shared page.
    void SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification();

    void setUseNewWebViewsForViewabilityProcessing(bool useNew);
    void setViewabilityUnloadCacheMaxSize(uint64_t size);  // 0 keeps the current size
    std::vector<std::shared_ptr<HRNSDKCoreWebView>> viewabilitySDKCoreWebViews() const;

    HRNSDKCoreController(const HRNSDKCoreController&) = delete;
    HRNSDKCoreController& operator=(const HRNSDKCoreController&) = delete;

  private:
    HRNSDKCoreController() = default;

    mutable std::mutex mutex_;  // guards the fields below
    std::shared_ptr<HRNSDKCoreWebView> viewabilitySDKCoreWebView_;
    bool SDKCoreUpdateHandled_ = false;
    bool useNewWebViewsForViewabilityProcessing_ = false;
    std::vector<std::shared_ptr<HRNSDKCoreWebView>> viewabilitySDKCoreWebViews_;  // oldest first
    uint64_t viewabilityUnloadCacheMaxSize_ = 3;
    double viewabilitySamplingInterval_ = 0.4;
};
