#pragma once
// HRNSDKCoreWebView: the SDK-core page: a hidden page, served by the ad server at the core page
// URL, whose scripts build ad URLs and ads from request parameters, hand the SDK its settings
// and measure viewability. It wraps one hidden ad view, tracks the page's load state, queues
// script calls until the page has loaded (at most 50), tells its observers once when a load
// ends, and offers the page's "hmsg" messages to the SDK-core message handler, then the
// viewability message handler, then a default ad view delegate.
//
// Load states: 0 new, 1 load started, 2 the page's own request seen, 3 loaded, 4 failed. Only
// the core page URL itself may load, compared as whole text; a page message counts only once
// the page has loaded.
//
// Threading: the ad view lives on the main thread (it is made there at the first load, loads
// and runs commands there; messages and load reports arrive there). State, the command list,
// the observers and the viewability registry are guarded by a lock that never waits for the
// main thread, so any thread may call the public operations. Observer calls come
// asynchronously on the main queue, except clearAllViewabilityInstances, which calls its
// observers on the calling thread. A command that is pushed out of a full queue, or given to a
// failed page, is dropped: its `dropped` callback runs (on the calling thread, outside the
// lock) so that whoever waits for its answer hears that none will come.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ads/foundation/HRNViewabilityHMSGHandler.h"
#include "ads/foundation/HRNViewabilityMonitor.h"
#include "ads/rendering/views/HRNAdView.h"

class HRNAdViewDelegate;
class HRNSDKCoreHMSGHandler;
class HRNSDKCoreWebView;

// Told once when the load running at registration ends (or at once when the page is loaded or
// failed).
class HRNSDKCoreWebViewNotification {
  public:
    virtual ~HRNSDKCoreWebViewNotification() = default;
    virtual void didFinishLoadingSDKCoreInSDKCoreWebView(
        const std::shared_ptr<HRNSDKCoreWebView>& webView) = 0;
};

class HRNSDKCoreWebView : public HRNViewabilityHMSGHandlerDelegate,
                          public HRNAdViewDelegateProtocol,
                          public std::enable_shared_from_this<HRNSDKCoreWebView> {
  public:
    static constexpr size_t kMaximumPendingCommands = 50;

    // A new page in state 0; nothing is loaded yet.
    static std::shared_ptr<HRNSDKCoreWebView> create();
    ~HRNSDKCoreWebView() override;

    // "https://" + the ad server's host + "/hads/static/sdk/native/sdk-core-v40.html".
    static std::string corePageURLString();

    // On the main queue: loads (or reloads) the core page unless a load is running (state 1 or
    // 2); then, in every case, registers the observer (nullptr for none) for the load's end.
    void refreshSDKCoreAndNotifyObserver(
        const std::shared_ptr<HRNSDKCoreWebViewNotification>& observer);
    void refreshSDKCore() { refreshSDKCoreAndNotifyObserver(nullptr); }
    void addObserverForOneTimeNotification(
        const std::shared_ptr<HRNSDKCoreWebViewNotification>& observer);
    void removeObserver(const std::shared_ptr<HRNSDKCoreWebViewNotification>& observer);

    // Queues a script call for the page: dropped in state 4; otherwise appended (the oldest of
    // 50 waiting gives way) and run on the main queue, in order, once the page has loaded.
    void enqueueJavaScriptCommand(const std::string& command,
                                  std::function<void()> dropped = nullptr);
    // An event for the page, at once (the ad view's postJSNotification).
    void postJSNotification(const std::string& name,
                            const std::optional<platform::Dictionary>& userInfo);

    int64_t state() const;
    bool hasSDKCoreLoadedAtLeastOnce() const;
    size_t pendingJavaScriptCommandCount() const;

    const std::shared_ptr<HRNSDKCoreHMSGHandler>& SDKCoreHMSGHandler() const {
        return SDKCoreHMSGHandler_;
    }
    const std::shared_ptr<HRNViewabilityHMSGHandler>& viewabilityHMSGHandler() const {
        return viewabilityHMSGHandler_;
    }
    const std::shared_ptr<HRNAdViewDelegate>& adViewDelegate() const { return adViewDelegate_; }
    // The hidden ad view, once the first load has made it (main thread).
    const std::shared_ptr<HRNAdView>& adView() const { return adView_; }
    // Its web view (main thread); null before the first load.
    std::shared_ptr<platform::web::WebView> webView() const;

    // Viewability units measured in this page. The observer is held weakly; a second
    // registration of an ID is ignored. Removing an observer keeps its ID running until the
    // page untracks the unit.
    void setViewabilityObserverForViewabilityID(
        const std::shared_ptr<HRNAdViewViewabilityMonitoring>& observer,
        uint64_t viewabilityID);
    void removeViewabilityObserverForViewabilityID(uint64_t viewabilityID);
    bool isViewabilityRunning() const;
    // Forgets every unit and tells each observer still alive viewabilityMonitoringDidStop, on
    // the calling thread.
    void clearAllViewabilityInstances();

    // HRNViewabilityHMSGHandlerDelegate.
    void viewabilityHMSGHandlerDidReceiveVisibilityNotificationForViewabilityID(
        HRNViewabilityHMSGHandler& handler,
        bool visible,
        int64_t viewabilityID) override;
    void viewabilityHMSGHandlerDidReceiveUntrackNotificationForViewabilityID(
        HRNViewabilityHMSGHandler& handler,
        int64_t viewabilityID) override;

    // HRNAdViewDelegateProtocol: the page's navigation policy and load reports.
    bool adViewShouldStartLoadWithRequestNavigationType(
        const std::shared_ptr<HRNAdView>& adView,
        const platform::net::URLRequest& request,
        platform::web::NavigationType type) override;
    void adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) override;
    void adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>& adView,
                                    const platform::Error& error) override;

  private:
    struct Command {
        std::string script;
        std::function<void()> dropped;
    };

    HRNSDKCoreWebView();
    void dispatchPendingJavaScriptCommands();
    void notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();

    std::shared_ptr<HRNSDKCoreHMSGHandler> SDKCoreHMSGHandler_;
    std::shared_ptr<HRNViewabilityHMSGHandler> viewabilityHMSGHandler_;
    std::shared_ptr<HRNAdViewDelegate> adViewDelegate_;
    std::shared_ptr<HRNAdView> adView_;  // main thread

    mutable std::mutex mutex_;  // guards the fields below
    int64_t state_ = 0;
    bool hasSDKCoreLoadedAtLeastOnce_ = false;
    std::deque<Command> pendingJavaScriptCommands_;
    std::vector<std::shared_ptr<HRNSDKCoreWebViewNotification>> SDKCoreObservers_;
    std::map<uint64_t, std::weak_ptr<HRNAdViewViewabilityMonitoring>> viewabilityObservers_;
    std::set<uint64_t> runningViewabilityObserverIdentifiers_;
};
