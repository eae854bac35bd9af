#pragma once
// HRNAdView: the view in which every HTML ad of the SDK runs (banners, interstitials, the hidden
// SDK-core page and the pages that come later: expanded ads, the in-app browser). It owns one
// web view, forwards the web view's load reports to its delegate, and is the only road by which
// the SDK sends events to the ad's page: immediate ones (postJSNotification) and queued ones
// (dispatchSDKEvent), held until the page has loaded, at most 20 waiting.
//
// Around it: HRNWebViewCacheSet, a process-wide pool of blanked web views a new ad view takes
// instead of making one; HRNAdViewState, the placement an ad view keeps while it is lent to an
// expanded presentation; HRNAdViewViewabilityReporter, the switch of the slot's viewability
// reporting that the page's "trackViewabilityUnit" message throws.
//
// Threading: made, used and destroyed on the main thread. postJSNotification and
// dispatchSDKEvent may be called from any thread: the first schedules the page's evaluation on
// the main queue (which wakes the main run loop), the second adds an operation to the view's
// event queue that does so when it runs. Page scripts therefore always run on the main thread,
// in the order their events were posted from one thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/foundation/HRNCacheSet.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"
#include "platform/web/WebView.h"

class HRNAdView;
class HRNAdViewTouchGestureRecognizer;
class HRNAdViewViewabilityReporter;
class HRNDebugOptionsMenuSheet;
class HRNRewardBasedVideoAdHMSGHandlerDelegate;
class HRNVideoController;
class HRNVideoPlayer;
class HRNWiggleGestureRecognizer;

namespace platform::ui {
class ViewController;
}

// What an ad view reports to its delegate (the HRNAdViewDelegate objects of the page-message
// channel, or the SDK-core page). Every operation is optional; the defaults behave as a
// delegate that does not answer it.
class HRNAdViewDelegateProtocol {
  public:
    virtual ~HRNAdViewDelegateProtocol() = default;
    virtual bool adViewShouldStartLoadWithRequestNavigationType(
        const std::shared_ptr<HRNAdView>& /*adView*/,
        const platform::net::URLRequest& /*request*/,
        platform::web::NavigationType /*type*/) {
        return true;
    }
    virtual void adViewDidStartLoad(const std::shared_ptr<HRNAdView>& /*adView*/) {}
    virtual void adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& /*adView*/) {}
    virtual void adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>& /*adView*/,
                                            const platform::Error& /*error*/) {}
    virtual void adViewContentSizeDidChange(const std::shared_ptr<HRNAdView>& /*adView*/,
                                            platform::ui::Size /*size*/) {}
    virtual void adViewDidMoveToPlacement(
        const std::shared_ptr<HRNAdView>& /*adView*/,
        const std::shared_ptr<platform::ui::View>& /*placement*/) {}
};

// Where an ad view stood while it is lent to an expanded presentation.
struct HRNAdViewState {
    std::shared_ptr<platform::ui::View> superview;
    std::weak_ptr<HRNAdViewDelegateProtocol> delegate;
    std::weak_ptr<platform::ui::ViewController> viewController;
    platform::ui::Rect frame;
};

// The process-wide pool of web views left by destroyed ad views: a web view is blanked (it
// loads about:blank) and kept only when its page is empty afterwards; at most three are
// blanked at a time. Blanking runs on the main queue.
class HRNWebViewCacheSet : public HRNCacheSet,
                           public platform::web::WebViewDelegate,
                           public std::enable_shared_from_this<HRNWebViewCacheSet> {
  public:
    explicit HRNWebViewCacheSet(uint64_t maxCapacity) : HRNCacheSet(maxCapacity) {}
    ~HRNWebViewCacheSet() override;

    // Blanks the web view and keeps it when it comes out empty; nothing at capacity 0.
    void addWebView(const std::shared_ptr<platform::web::WebView>& webView);
    std::shared_ptr<platform::web::WebView> anyWebView();
    size_t clearingCount() const { return clearingWebViews_.size(); }

    bool shouldStartLoadWithRequest(platform::web::WebView& webView,
                                    const platform::net::URLRequest& request,
                                    platform::web::NavigationType type) override;
    void webViewDidFinishLoad(platform::web::WebView& webView) override;
    void didFailLoadWithError(platform::web::WebView& webView,
                              const platform::Error& error) override;

  private:
    void clearWebView(const std::shared_ptr<platform::web::WebView>& webView);
    std::shared_ptr<platform::web::WebView> take(platform::web::WebView& webView);

    std::vector<std::shared_ptr<platform::web::WebView>> clearingWebViews_;  // main thread
};

class HRNAdView : public platform::ui::View, public platform::web::WebViewDelegate {
  public:
    static constexpr size_t kMaximumWaitingEvents = 20;

    static std::shared_ptr<HRNAdView> create(const platform::ui::Rect& frame = {});
    ~HRNAdView() override;
    std::string className() const override { return "HRNAdView"; }

    // The process-wide cache of blanked web views; its capacity is the setting
    // "web_view_cache_max_capacity" (0 to 9; absent or any other value 0).
    static std::shared_ptr<HRNWebViewCacheSet> webViewCache();
    static std::shared_ptr<platform::web::WebView> cachedWebView();
    static void cacheWebView(const std::shared_ptr<platform::web::WebView>& webView);
    // The script of one page event: "HSDK_ReceiveMessage('NAME', JSON);" with the payload as
    // compact JSON (line separators escaped), or "HSDK_ReceiveMessage('NAME');" without one;
    // std::nullopt when the payload cannot be written as JSON (the event is then not sent).
    static std::optional<std::string> JSCommandForNotificationName(
        const std::string& name,
        const std::optional<platform::Dictionary>& userInfo);

    const std::shared_ptr<platform::web::WebView>& webView() const { return webView_; }
    // The base URL of the last HTML load; kept in the ad URL stash for this view.
    const std::optional<platform::net::URL>& URL() const { return URL_; }

    void loadHTMLStringBaseURL(const std::string& html,
                               const std::optional<platform::net::URL>& baseURL);
    void loadRequest(const platform::net::URLRequest& request);
    void willLoadHTML();
    // Replaces the stashed URL (for `view`) by `url`.
    void setURLForView(const std::optional<platform::net::URL>& url,
                       const std::shared_ptr<platform::ui::View>& view);

    void configureAsInterstitialAdView();
    void configureAsBannerAdView();
    void reset();
    void setFrame(const platform::ui::Rect& frame) override;
    void layoutSubviews() override;

    // A page event held until the page has loaded; "version" and "device" join the payload.
    // With the page still loading and 20 events waiting, the event is dropped.
    void dispatchSDKEvent(const std::string& name,
                          const std::optional<platform::Dictionary>& parameters);
    // A page event evaluated at the main run loop's next turn.
    void postJSNotification(const std::string& name,
                            const std::optional<platform::Dictionary>& userInfo);
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);
    // Runs the script on the page's next timer turn ("setTimeout(function(){...}, 1);").
    void executeJavaScriptAsynchronouslyFromString(const std::string& script);

    // Interface orientations 1 to 4 only; the page's window.orientation answers the angle, and
    // the page hears "orientationchange" when asked.
    void setHTMLWindowOrientationShouldDispatchOrientationChangeEvent(int64_t orientation,
                                                                      bool dispatch);
    void forceRotateHTMLToOrientation(int64_t orientation);
    void didRotateToOrientation(int64_t orientation);

    void saveState();
    void restoreState();
    const std::optional<HRNAdViewState>& savedState() const { return savedState_; }

    void didMoveToPlacement(const std::shared_ptr<platform::ui::View>& placement);
    platform::ui::Size contentSize() const;

    // Forwarded to the web view.
    void goBack();
    void goForward();
    void stopLoading();
    void reload();
    bool canGoBack() const;
    bool canGoForward() const;
    bool isLoading() const;
    std::optional<platform::net::URLRequest> request() const;
    const std::shared_ptr<platform::ui::ScrollView>& scrollView() const;

    std::shared_ptr<HRNAdViewDelegateProtocol> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNAdViewDelegateProtocol> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<platform::ui::ViewController> viewController() const {
        return viewController_.lock();
    }
    void setViewController(std::weak_ptr<platform::ui::ViewController> controller) {
        viewController_ = std::move(controller);
    }
    bool touched() const { return touched_; }
    void setTouched(bool touched) { touched_ = touched; }
    bool showDebug() const { return showDebug_; }
    void setShowDebug(bool show) { showDebug_ = show; }
    const std::optional<std::string>& adDebugDialogString() const { return adDebugDialogString_; }
    void setAdDebugDialogString(std::optional<std::string> text) {
        adDebugDialogString_ = std::move(text);
    }
    int64_t orientation() const { return orientation_; }
    bool useAutoLayoutForResizingAdView() const { return useAutoLayoutForResizingAdView_; }
    const std::shared_ptr<HRNAdViewViewabilityReporter>& viewabilityReporter() const {
        return viewabilityReporter_;
    }
    const std::shared_ptr<HRNVideoController>& videoController() const { return videoController_; }
    const std::shared_ptr<HRNVideoPlayer>& videoPlayer() const { return videoPlayer_; }
    void setVideoPlayer(std::shared_ptr<HRNVideoPlayer> player) {
        videoPlayer_ = std::move(player);
    }
    std::shared_ptr<HRNRewardBasedVideoAdHMSGHandlerDelegate>
    rewardBasedVideoAdHMSGHandlerDelegate() const {
        return rewardBasedVideoAdHMSGHandlerDelegate_.lock();
    }
    void setRewardBasedVideoAdHMSGHandlerDelegate(
        std::weak_ptr<HRNRewardBasedVideoAdHMSGHandlerDelegate> delegate) {
        rewardBasedVideoAdHMSGHandlerDelegate_ = std::move(delegate);
    }
    const std::shared_ptr<platform::OperationQueue>& eventQueue() const { return eventQueue_; }
    const std::shared_ptr<HRNAdViewTouchGestureRecognizer>& touchGestureRecognizer() const {
        return touchGestureRecognizer_;
    }

    // platform::web::WebViewDelegate
    bool shouldStartLoadWithRequest(platform::web::WebView& webView,
                                    const platform::net::URLRequest& request,
                                    platform::web::NavigationType type) override;
    void webViewDidStartLoad(platform::web::WebView& webView) override;
    void webViewDidFinishLoad(platform::web::WebView& webView) override;
    void didFailLoadWithError(platform::web::WebView& webView,
                              const platform::Error& error) override;

  private:
    explicit HRNAdView(const platform::ui::Rect& frame);
    void setUp();
    void addGestureRecognizers();
    void handleGesture();
    std::shared_ptr<HRNAdView> self();

    std::shared_ptr<platform::web::WebView> webView_;
    std::optional<platform::net::URL> URL_;
    std::optional<HRNAdViewState> savedState_;
    std::shared_ptr<platform::OperationQueue> eventQueue_;
    std::shared_ptr<HRNAdViewTouchGestureRecognizer> touchGestureRecognizer_;
    std::shared_ptr<HRNWiggleGestureRecognizer> debugGestureRecognizer_;
    bool useAutoLayoutForResizingAdView_ = false;
    std::shared_ptr<HRNDebugOptionsMenuSheet> debugOptionsMenuSheet_;
    bool touched_ = false;
    bool showDebug_ = false;
    std::weak_ptr<platform::ui::ViewController> viewController_;
    std::optional<std::string> adDebugDialogString_;
    int64_t orientation_ = 0;
    std::shared_ptr<HRNAdViewViewabilityReporter> viewabilityReporter_;
    std::weak_ptr<HRNAdViewDelegateProtocol> delegate_;
    std::shared_ptr<HRNVideoPlayer> videoPlayer_;
    std::shared_ptr<HRNVideoController> videoController_;
    std::weak_ptr<HRNRewardBasedVideoAdHMSGHandlerDelegate> rewardBasedVideoAdHMSGHandlerDelegate_;
    int contentSizeObserver_ = 0;
};
