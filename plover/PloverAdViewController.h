#pragma once
// The full-screen screen that plays one ad bundle: the video with its controls, then the end
// card when the bundle has one, and the store's product sheet for the call-to-action. It
// records what the user watched and clicked into the pending play report ("reportAd", sent by
// the SDK later) and the latest play ("latestPlayInfo"), fires the ad's tracking URLs, and
// tells the SDK's delegate when the ad closes.
//
// The SDK makes it in playAd, presents it and keeps it as its current ad view controller until
// it finishes. Main thread only; the delegate's close call and the dismissal after the video
// are queued on the main queue.
//
// Play records hold "startTime" (milliseconds since 1970), "videoLength" and "videoViewed"
// (milliseconds), all rounded to whole numbers, halves away from zero.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/store/StoreProductViewController.h"
#include "platform/ui/ViewController.h"
#include "plover/PloverStoreProductViewController.h"

class PloverAdLegacy;
class PloverVideoPlayer;
class PloverWebView;

class PloverAdViewController : public platform::ui::ViewController,
                               public platform::store::StoreProductViewControllerDelegate {
  public:
    // initWithAd:
    static std::shared_ptr<PloverAdViewController> create(std::shared_ptr<PloverAdLegacy> bundle);
    ~PloverAdViewController() override;
    std::string className() const override { return "PloverAdViewController"; }

    // The SDK's orientation mask, and whether an orientation (1 to 4) is in it.
    uint64_t supportedInterfaceOrientations() const;
    bool shouldAutorotateToInterfaceOrientation(int64_t orientation) const;
    bool prefersStatusBarHidden() const { return true; }

    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // Makes the report final (once); unless leaving for the background, sends it and asks for
    // the next ad. Either way the SDK forgets this controller.
    void finishAdView(bool leavingForBackground);

    // From the player.
    void ploverVideoPlayerDidFinish(PloverVideoPlayer& player);
    void videoCTAClicked(PloverVideoPlayer& player);
    void updateLatestPlayInfo();

    void updateReportAd();
    // From the end card: 0 dismiss, 1 click-through, 2 replay, 3 the privacy page.
    void ploverPostRollAction(int action);
    void reactToAppEnteringBackground();
    void productViewControllerDidFinish(
        platform::store::StoreProductViewController& sheet) override;

    // Tracking: fires the URLs of `events[name]` (see the implementation for the rules).
    void dispatchEventNamed(const std::string& name,
                            const std::optional<platform::Value>& subCategory,
                            int max);
    void dispatchEventURLs(const platform::Value& urls);
    bool presentAppStoreWithDelegate();
    // The store id of an App Store URL ("https://itunes.apple.com/app/id123" gives 123).
    static std::optional<int64_t> validInAppDownloadUrl(const std::optional<std::string>& url);
    void prepareStoreViewControllerWithAppID(std::optional<int64_t> appId);

    // The close callback's view information, from what was watched so far.
    platform::Value viewInfo();
    // The report as it is written.
    platform::Dictionary reportAd() const;

    // State, for the SDK and tests.
    const std::shared_ptr<PloverAdLegacy>& bundle() const { return bundle_; }
    const std::shared_ptr<PloverVideoPlayer>& videoPlayer() const { return videoPlayer_; }
    const std::shared_ptr<PloverWebView>& webView() const { return webView_; }
    std::shared_ptr<platform::store::StoreProductViewController> storeViewController() const;
    bool incentivized() const { return incentivized_; }
    bool videoIsPlaying() const { return videoIsPlaying_; }
    bool willShowProductView() const { return willShowProductView_; }
    bool delegateCloseNotified() const { return delegateCloseNotified_; }
    bool didDownload() const { return didDownload_; }
    bool finished() const { return finished_; }
    bool storeLoaded() const { return storeLoaded_; }
    bool removeLastBundle() const { return removeLastBundle_; }
    double downloadTime() const { return downloadTime_; }
    double timeViewed() const { return timeViewed_; }
    double videoLength() const { return videoLength_; }
    std::optional<int64_t> appStoreId() const { return appStoreId_; }
    const platform::Array& views() const { return views_; }
    const platform::Array& clickSequence() const { return clickSequence_; }
    const platform::Dictionary& eventsDisplayed() const { return eventsDisplayed_; }

    void loadView() override;

  private:
    explicit PloverAdViewController(std::shared_ptr<PloverAdLegacy> bundle);
    void build();
    // What the player has shown so far, taken into timeViewed and videoLength.
    void takeWatchedTime();
    platform::Dictionary playRecord(double startTime) const;
    void appendPlayRecord(double startTime);
    void presentStoreDelayed();
    void checkpoint();

    bool webviewAdded_ = false;
    bool didPlayOnce_ = false;
    double adStart_ = 0;
    platform::Array views_;
    bool incentivized_ = false;
    bool videoIsPlaying_ = false;
    bool statusBarHidden_ = false;
    bool statusBarRemembered_ = false;
    bool willShowProductView_ = false;
    bool delegateCloseNotified_ = false;
    bool firstView_ = true;
    bool didDownload_ = false;
    bool finished_ = false;
    bool storeLoaded_ = false;
    bool removeLastBundle_ = false;
    std::shared_ptr<PloverVideoPlayer> videoPlayer_;
    std::shared_ptr<PloverWebView> webView_;
    std::shared_ptr<PloverAdLegacy> bundle_;
    double downloadTime_ = 0;
    PloverStoreProductViewController store_;
    platform::Array clickSequence_;
    std::optional<int64_t> appStoreId_;
    platform::Dictionary eventsDisplayed_;
    platform::Value events_;
    double timeViewed_ = 0;
    double videoLength_ = 0;
    double lastCheckpoint_ = -1;  // the play share last reported to the tracking checkpoints
};
