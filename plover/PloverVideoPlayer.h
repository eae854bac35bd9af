#pragma once
// The ad's video with its controls: the clip of an ad bundle (its part of type 1) playing in a
// player layer over the whole view, a close button that shows after the bundle's close delay
// (its rewarded-play delay for an incentivized play), a countdown of the seconds left that shows
// after the countdown delay, a mute button (the SDK's "muted"), and the call-to-action button
// per the bundle's overlay settings (shown after its delay, or only once the video was touched;
// a tap on the video inside the click area counts as a click while it shows).
//
// It tells its ad view controller: ploverVideoPlayerDidFinish once per play when the clip ends,
// fails, or the user closes it; videoCTAClicked on a call-to-action; updateLatestPlayInfo every
// quarter second of play. Closing an incentivized play before its end asks first, with the
// SDK's incentivized alert texts.
//
// Time is platform::Clock's (the player's and the delays'). Main thread only.

#include <memory>
#include <string>

#include "platform/foundation/NotificationCenter.h"
#include "platform/media/Player.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/PlayerLayer.h"
#include "platform/ui/View.h"

class PloverAdLegacy;
class PloverAdPart;
class PloverAdViewController;

class PloverVideoPlayer : public platform::ui::View, public platform::ui::AlertViewDelegate {
  public:
    // initWithAdPart:adViewController:
    static std::shared_ptr<PloverVideoPlayer> create(
        std::shared_ptr<PloverAdPart> part,
        const std::shared_ptr<PloverAdViewController>& controller);
    ~PloverVideoPlayer() override;
    std::string className() const override { return "PloverVideoPlayer"; }

    // The clip is on disk and has not failed to open.
    bool canPlay() const;
    void play();
    // Pauses for good: nothing more is reported for this play.
    void stop();
    void pause();
    // From the start again (a new play, reported again when it ends).
    void rewindAndPlay();

    // Seconds since 1970 when the current play began; 0 before the first play.
    double startTime() const { return startTime_; }
    // The clip's length and the position now, in seconds (0 while unknown).
    double videoLength() const;
    double currentPosition() const;
    // The clip's URL as the ad reply gave it.
    std::string originalVideoUrl() const;
    // The current play ended (or was closed).
    bool isFinished() const { return finished_; }
    bool isPlaying() const;

    // What the controls do when tapped.
    void closeTapped();
    void muteTapped();
    void ctaTapped();

    const std::shared_ptr<platform::media::Player>& player() const { return player_; }
    const std::shared_ptr<platform::ui::Button>& closeButton() const { return closeButton_; }
    const std::shared_ptr<platform::ui::Button>& muteButton() const { return muteButton_; }
    const std::shared_ptr<platform::ui::Button>& ctaButton() const { return ctaButton_; }
    const std::shared_ptr<platform::ui::Label>& countdownLabel() const { return countdown_; }

    void layoutSubviews() override;
    void touchesEnded(const platform::ui::Touches& touches) override;
    void alertViewClickedButtonAtIndex(platform::ui::AlertView& alertView,
                                       int64_t buttonIndex) override;

  private:
    explicit PloverVideoPlayer(std::shared_ptr<PloverAdPart> part);
    void build(const std::shared_ptr<PloverAdViewController>& controller);
    void beginPlay();
    void tick(double time);
    void reachedEnd();
    void updateMuteButton();
    void showCallToAction();
    std::shared_ptr<PloverAdLegacy> bundle() const;

    std::shared_ptr<PloverAdPart> part_;
    std::weak_ptr<PloverAdViewController> controller_;
    std::shared_ptr<platform::media::Player> player_;
    std::shared_ptr<platform::media::PlayerItem> item_;
    std::shared_ptr<platform::ui::PlayerLayer> layer_;
    std::shared_ptr<platform::ui::Button> closeButton_;
    std::shared_ptr<platform::ui::Button> muteButton_;
    std::shared_ptr<platform::ui::Button> ctaButton_;
    std::shared_ptr<platform::ui::Label> countdown_;
    std::shared_ptr<platform::ui::AlertView> alert_;
    platform::media::Player::Token timeObserver_ = 0;
    platform::media::PlayerItem::Token statusObserver_ = 0;
    platform::NotificationCenter::Token endObserver_ = 0;
    double startTime_ = 0;
    double playStartedAt_ = 0;  // Clock::now() of the current play's start
    uint64_t play_ = 0;         // counts plays, so delayed reveals of an old play do nothing
    bool started_ = false;
    bool finished_ = false;
    bool stopped_ = false;
    bool touched_ = false;
};
