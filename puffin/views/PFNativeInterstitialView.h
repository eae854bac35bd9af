#pragma once
// The view of a Puffin interstitial or rewarded video without a web template: the ad's
// pictures (ad, frame, close, for portrait and landscape), and for a video ad the cached clip in
// a player with its controls (a progress bar and timer, an optional click button), a replay
// button, the post-video screen, the reward notification and an optional confirmation before
// the video starts. The pictures come through the image cache; the view says it is ready once
// they (and, for a video, the player item) are, or fails with code 16 (pictures missing) or 0
// (no video, or the video cannot play).
//
// Playback: startPlayback shows the ad (display callback) and plays the video; the close
// button appears after the ad's "delay" seconds; the controls hide after "timer" seconds when
// they can be toggled, a touch shows them again. The end of the video stops it, shows what
// comes after the video and reports completion once (a replay does not report again). A close
// before the end asks first when the ad has a "cancel-popup". All callbacks come
// asynchronously on the main queue.
//
// Threading: main thread only.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/Player.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/PlayerLayer.h"
#include "platform/ui/View.h"
#include "puffin/views/PFViewProtocol.h"
#include "puffin/views/PFWidgets.h"

namespace platform {
class Group;
class Timer;
}  // namespace platform

class PFNativeInterstitialView : public platform::ui::View,
                                 public PFViewProtocol,
                                 public PFInterstitialPlayback {
  public:
    // The image assets in the order they load, with their scale keys.
    static const std::vector<std::pair<std::string, std::string>>& assetKeys();

    static std::shared_ptr<PFNativeInterstitialView> create(const platform::ui::Rect& frame);
    // Starts downloading every picture the ad names (the response's "assets").
    static void prefetchAssets(const platform::Dictionary& assets);
    static void prefetchWebImage(const platform::Value* entry);

    std::string className() const override { return "PFNativeInterstitialView"; }

    // PFViewProtocol
    std::shared_ptr<platform::ui::View> view() override { return shared_from_this(); }
    bool canDisplay() override;
    platform::Dictionary prepareWithResponse(const platform::Dictionary& response) override;
    void destroy() override;
    bool shouldAdjustFrameForStatusBar() override;
    void audioInterruptShouldResume() override { delayedPlay(); }
    void audioRoutePhoneCall() override { delayedPlay(); }
    void audioRouteHeadphones() override { play(); }
    int64_t orientation() const override { return orientation_; }
    void setOrientation(int64_t orientation) override { orientation_ = orientation; }
    uint64_t supportedOrientations() const override { return supportedOrientations_; }
    bool answersSetVideoConfirmationEnabled() const override { return true; }
    void setVideoConfirmationEnabled(bool enabled) override;
    bool answersPlayAndPause() const override { return true; }
    void play() override;
    void pause() override;

    // PFInterstitialPlayback
    void startPlayback() override;
    void stopPlayback() override;
    // The end of the loaded range that holds the current time (0 when none does); NaN until
    // the item is ready.
    double currentItemPlayableDuration() const override;
    double currentItemPlayTime() const override;

    void delayedPlay();
    bool fullscreen() const { return fullscreen_ && !needsIPhonePortrait_; }

    // The controls' actions (buttons and touches call them).
    void clickForEvent(std::optional<platform::ui::Point> where);
    void closeTapped();
    void replay();
    void videoConfirmationContinue();
    void postVideoControlsClick();
    void toggleHudControls();

    // View
    void layoutSubviews() override;

    // For tests and the presenter.
    int32_t state() const { return state_; }
    int32_t mediaType() const { return mediaType_; }
    bool videoLoadSuccess() const { return videoLoadSuccess_; }
    bool videoFinished() const { return videoFinished_; }
    bool videoConfirmationEnabled() const { return videoConfirmationEnabled_; }
    uint64_t playCount() const { return playCount_; }
    const std::shared_ptr<platform::media::Player>& player() const { return player_; }
    std::shared_ptr<platform::ui::View> subviewNamed(const std::string& name);
    std::optional<platform::ui::ImageRef> image(const std::string& assetKey) const;
    double scale(const std::string& assetKey) const;

    explicit PFNativeInterstitialView(const platform::ui::Rect& frame);
    ~PFNativeInterstitialView() override;

  private:
    void build();
    void loadImageScaleKeyAssetsGroup(const std::string& key, const platform::Value* entry);
    void displayUI();
    void itemStatusChanged(platform::media::PlayerItemStatus status);
    void videoDidPlayToEndTime();
    void applyUX(const platform::Dictionary& ux);
    bool trioLoaded(const char* orientation) const;
    void showCloseButton();
    void setControlsVisible(bool visible);
    void updateProgress(double time);
    void callOnMain(std::function<void(PFNativeInterstitialView&)> work);
    platform::Dictionary moreData() const;
    void finishClose();

    // Flags and numbers.
    bool videoConfirmationEnabled_ = false;
    bool videoFinished_ = false;
    bool videoPlaying_ = false;
    bool videoLoadSuccess_ = false;
    bool videoControlsViewVisible_ = false;
    bool videoControlsTogglable_ = false;
    bool postVideoToasterEnabled_ = false;
    bool postVideoNotificationEnabled_ = false;
    bool videoProgressTimerEnabled_ = false;
    bool closing_ = false;
    bool fullscreen_ = false;
    bool prerollPopupFullscreen_ = false;
    bool needsIPhonePortrait_ = false;
    int32_t mediaType_ = 0;
    int32_t state_ = 0;
    int64_t orientation_ = 0;
    uint64_t supportedOrientations_ = 0;
    uint64_t playCount_ = 0;
    double closeButtonDelayInSeconds_ = 0;
    double hudTimerSeconds_ = 0;
    double videoDuration_ = 0;
    std::map<std::string, double> scales_;
    std::map<std::string, platform::ui::ImageRef> images_;
    platform::Dictionary assets_;
    platform::Dictionary ux_;
    std::string adId_;
    std::string videoId_;

    // Subviews.
    std::shared_ptr<platform::ui::ImageView> frameUnit_;
    std::shared_ptr<platform::ui::Button> adUnit_;
    std::shared_ptr<platform::ui::Button> replayButton_;
    std::shared_ptr<platform::ui::View> fullscreenBackground_;
    std::shared_ptr<platform::ui::PlayerLayer> playerLayer_;
    std::shared_ptr<PFTouchCallbackView> videoAdControlsView_;
    std::shared_ptr<platform::ui::View> darkBottom_;
    std::shared_ptr<platform::ui::View> darkTop_;
    std::shared_ptr<platform::ui::Button> videoAdControlClickButton_;
    std::shared_ptr<PFFlatProgressBar> progressIndicator_;
    std::shared_ptr<platform::ui::Label> progressTimer_;
    std::shared_ptr<PFToasterView> postVideoControls_;
    std::shared_ptr<platform::ui::ImageView> postVideoIcon_;
    std::shared_ptr<platform::ui::Button> postVideoButton_;
    std::shared_ptr<platform::ui::Label> postVideoTitle_;
    std::shared_ptr<platform::ui::Label> postVideoTagline_;
    std::shared_ptr<PFToasterView> postVideoNotification_;
    std::shared_ptr<platform::ui::ImageView> postVideoNotificationIcon_;
    std::shared_ptr<platform::ui::Label> postVideoNotificationText_;
    std::shared_ptr<platform::ui::View> videoConfirmationView_;
    std::shared_ptr<platform::ui::Button> videoConfirmationButton_;
    std::shared_ptr<platform::ui::ImageView> videoConfirmationIcon_;
    std::shared_ptr<platform::ui::Label> videoConfirmationLabel_;
    std::shared_ptr<platform::ui::Button> closeButton_;

    // Playback.
    std::shared_ptr<platform::media::Player> player_;
    std::shared_ptr<platform::media::PlayerItem> playerItem_;
    uint64_t statusToken_ = 0;
    uint64_t timeToken_ = 0;
    uint64_t endToken_ = 0;
    std::shared_ptr<platform::Timer> currentHudTimer_;
    std::shared_ptr<platform::Timer> closeButtonTimer_;
    std::shared_ptr<platform::Group> group_;
};
