#pragma once
// The view of a web-template ad (interstitial or rewarded video): a web view showing the page
// that the prefetcher made from the ad's template, filled with the ad's values. The page talks
// to the view by navigating to "pfsdk://eventhandler/eventtype/<function>/<key>/<value>...",
// each part percent-encoded (never loaded); the view talks to the page with
// Puffin.EventHandler.handleNativeEvent("<name>", "<JSON arguments>") ("onForeground",
// "onBackground"). The view reports to its impression only through the PFViewProtocol
// callbacks, each one asynchronously on the main queue.
//
// Two flavours of the same web view, by what the system offers: the "WebKit" one (its page
// and files copied into tmp/www and loaded from there), else the plain one (loaded with the
// prefetch root as base URL). Both decide navigations the same way.
//
// States: 0 new, 1 page loaded and playback started, 2 video playing, 3 video completed,
// 4 closing. The first close wins: exactly one of the close callbacks runs, once. A failure of
// the template (an asset that failed, no page within 20 s of the loading view, an empty page,
// files that could not be copied) reports once and closes without asking to keep the ad.
//
// Threading: main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/View.h"
#include "platform/web/WebView.h"
#include "puffin/core/PFAdUnitData.h"
#include "puffin/views/PFViewProtocol.h"

namespace platform {
class Group;
class Timer;
}  // namespace platform

class PFWebVideoView : public platform::ui::View,
                       public PFViewProtocol,
                       public PFInterstitialPlayback,
                       public platform::web::WebViewDelegate {
  public:
    static std::shared_ptr<PFWebVideoView> create(const platform::ui::Rect& frame);
    // Asks the prefetcher for the ad's template (and its files) as soon as the ad arrives.
    static void prefetchAssets(const platform::Dictionary& response);
    // The page's message, split and decoded: "functionName", then its key/value pairs.
    static platform::Dictionary parseNativeURL(const std::string& rest);

    std::string className() const override { return "PFWebVideoView"; }

    // PFViewProtocol
    std::shared_ptr<platform::ui::View> view() override { return shared_from_this(); }
    bool canDisplay() override;
    platform::Dictionary prepareWithResponse(const platform::Dictionary& response) override;
    void destroy() override;
    bool shouldAdjustFrameForStatusBar() override;
    void audioInterruptShouldResume() override { delayedPlay(); }
    void audioRoutePhoneCall() override;
    void audioRouteHeadphones() override;
    int64_t orientation() const override { return orientation_; }
    void setOrientation(int64_t orientation) override { orientation_ = orientation; }
    uint64_t supportedOrientations() const override { return 30; }
    bool answersCloseNoRetryCallback() const override { return true; }
    bool answersPlayAndPause() const override { return true; }
    void play() override;
    void pause() override;

    // PFInterstitialPlayback
    void startPlayback() override;
    void stopPlayback() override;
    double currentItemPlayableDuration() const override { return playableDuration_; }
    double currentItemPlayTime() const override { return playTime_; }

    // The page side.
    bool processURL(const std::string& url);
    void callNativeFunctionWithArgs(const std::string& name, const platform::Dictionary& args);
    // Runs Puffin.EventHandler.handleNativeEvent with the name and the arguments' JSON, both
    // as properly quoted script strings; nothing when the arguments cannot be written as JSON.
    std::optional<std::string> callJSFunctionWithArgs(const std::string& name,
                                                      const std::optional<platform::Value>& args);
    void sendTrackingEvent(const platform::Dictionary& args);
    void close() { closeWithError(false); }
    void closeWithError(bool error);
    void delayedPlay();

    // WebViewDelegate
    bool shouldStartLoadWithRequest(platform::web::WebView& webView,
                                    const platform::net::URLRequest& request,
                                    platform::web::NavigationType type) override;
    void webViewDidFinishLoad(platform::web::WebView& webView) override;
    void didFailLoadWithError(platform::web::WebView& webView,
                              const platform::Error& error) override;

    // View
    void layoutSubviews() override;
    void didMoveToSuperview() override { setNeedsLayout(); }

    // For tests and the presenter.
    int64_t state() const { return state_; }
    bool usesWebKit() const { return webkit_ != nullptr; }
    std::shared_ptr<platform::web::WebView> webView() const { return webkit_ ? webkit_ : webview_; }
    const std::shared_ptr<PFAdUnitData>& adTemplate() const { return template_; }
    uint64_t playCount() const { return playCount_; }
    uint64_t completedCount() const { return completedCount_; }
    bool videoPlaying() const { return videoPlaying_; }

    explicit PFWebVideoView(const platform::ui::Rect& frame);
    ~PFWebVideoView() override;

  private:
    void initialize();
    void displayUI();
    void checkTemplateComplete();
    void templateReady();
    void startPlaybackPrivate();
    void startLoadingViewTimer();
    void loadingViewTimerFinished();
    void videoDidPlayToEndTime();
    void adClicked();
    void didBecomeActive();
    void willResignActive();
    // The template cannot show: one report, then the view closes without keeping the ad.
    void templateFailed(const std::string& event, const std::string& log);
    void removeObservers();
    void observe(const std::string& name, void (PFWebVideoView::*handler)());
    void callOnMain(std::function<void(PFWebVideoView&)> work);
    platform::Dictionary moreData() const;
    void track(const char* kind,
               const std::string& category,
               const std::string& event,
               const std::optional<std::string>& data);

    std::shared_ptr<platform::web::WebView> webview_;
    std::shared_ptr<platform::web::WebView> webkit_;
    int64_t state_ = 0;
    bool closing_ = false;
    bool videoFinished_ = false;
    bool videoPlaying_ = false;
    bool videoLoadSuccess_ = false;
    uint64_t playCount_ = 0;
    uint64_t completedCount_ = 0;
    double playTime_ = 0;
    double playableDuration_ = 0;
    std::string templateId_;
    std::string adId_;
    std::shared_ptr<PFAdUnitData> template_;
    std::string html_;
    std::optional<platform::Dictionary> trackingEvents_;
    std::shared_ptr<platform::Timer> loadingTimer_;
    std::shared_ptr<platform::Group> group_;
    int64_t orientation_ = 0;
    bool videoConfirmationEnabled_ = false;
    std::vector<platform::NotificationCenter::Token> observations_;
};
