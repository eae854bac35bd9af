#pragma once
// HRNSDKCoreWebView: a hidden SDK-core page, served by the ad server at the core page URL, in
// which the SDK runs scripts of the server's (here: the viewability measurement). It tracks the
// page's load state, queues script commands until the page has loaded, takes the page's "hmsg"
// messages, and keeps the registry of viewability observers whose units the page measures.
//
// Load states: 0 new, 1 load started, 2 the page's own request seen, 3 loaded, 4 failed.
//
// Threading: the web view and everything it reports live on the main thread (the page is
// loaded there, commands run there, messages arrive there). State, the command list and the
// registry are guarded by a lock that never waits for the main thread, so any thread may call
// the public operations. Observer calls come asynchronously on the main queue, except
// clearAllViewabilityInstances, which calls them on the calling thread.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "ads/foundation/HRNViewabilityHMSGHandler.h"
#include "ads/foundation/HRNViewabilityMonitor.h"
#include "platform/web/WebView.h"

class HRNSDKCoreWebView : public HRNViewabilityHMSGHandlerDelegate,
                          public platform::web::WebViewDelegate,
                          public std::enable_shared_from_this<HRNSDKCoreWebView> {
  public:
    static constexpr size_t kMaximumPendingCommands = 50;

    // A new page in state 0; nothing is loaded yet.
    static std::shared_ptr<HRNSDKCoreWebView> create();
    ~HRNSDKCoreWebView() override;

    // The core page URL: the ad server's base URL (QEN_AD_SERVER_URL, else the local ad server
    // peer http://127.0.0.1:51720) and "/hads/static/sdk/native/sdk-core-v40.html".
    static std::string corePageURLString();

    // Loads (or reloads) the core page on the main queue, unless a load is running (state 1 or
    // 2).
    void refreshSDKCore();

    // Queues a script for the page: dropped in state 4; otherwise appended (the oldest of 50
    // waiting gives way) and run on the main queue, in order, once the page has loaded.
    void enqueueJavaScriptCommand(const std::string& command);

    int64_t state() const;
    bool hasSDKCoreLoadedAtLeastOnce() const;

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

    const std::shared_ptr<HRNViewabilityHMSGHandler>& viewabilityHMSGHandler() const {
        return viewabilityHMSGHandler_;
    }
    // The hidden web view, once a load has made it (main thread).
    const std::shared_ptr<platform::web::WebView>& webView() const { return webView_; }

    // HRNViewabilityHMSGHandlerDelegate.
    void viewabilityHMSGHandlerDidReceiveVisibilityNotificationForViewabilityID(
        HRNViewabilityHMSGHandler& handler,
        bool visible,
        int64_t viewabilityID) override;
    void viewabilityHMSGHandlerDidReceiveUntrackNotificationForViewabilityID(
        HRNViewabilityHMSGHandler& handler,
        int64_t viewabilityID) override;

    // platform::web::WebViewDelegate: the page's navigation policy and load reports.
    bool shouldStartLoadWithRequest(platform::web::WebView& webView,
                                    const platform::net::URLRequest& request,
                                    platform::web::NavigationType type) override;
    void webViewDidFinishLoad(platform::web::WebView& webView) override;
    void didFailLoadWithError(platform::web::WebView& webView,
                              const platform::Error& error) override;

  private:
    HRNSDKCoreWebView();
    void dispatchPendingJavaScriptCommands();

    std::shared_ptr<HRNViewabilityHMSGHandler> viewabilityHMSGHandler_;
    std::shared_ptr<platform::web::WebView> webView_;  // main thread

    mutable std::mutex mutex_;  // guards the fields below
    int64_t state_ = 0;
    bool hasSDKCoreLoadedAtLeastOnce_ = false;
    std::deque<std::string> pendingJavaScriptCommands_;
    std::map<uint64_t, std::weak_ptr<HRNAdViewViewabilityMonitoring>> viewabilityObservers_;
    std::set<uint64_t> runningViewabilityObserverIdentifiers_;
};
