#pragma once
// HRNInterstitial: the full-screen ad an application makes for one ad unit, loads, asks whether
// it is ready, and presents once over one of its view controllers. It is a front end over one ad
// slot: the slot requests, fetches and renders the ad; the interstitial answers the slot's
// questions, turns its events into the delegate's callbacks on the main thread, and shows the
// ad through its HRNInterstitialViewController. The object is single-use: once presented,
// every further load fails with code 6 and the application makes a new one.
//
//   created --loadRequest--> loading (the slot's states) --slot state 6--> ready
//   ready --present--> shown: will-present, [will-leave on a click], will-dismiss, did-dismiss
//   (the slot is invalidated before did-dismiss) --> used
//
// A presentation that cannot happen (not ready, used, an orientation the application refuses,
// a presenting controller that refuses it) leaves the ad as it was: a refused one is told to
// the delegate as interstitialDidFailToPresentScreen alone, never as a shown and dismissed ad.
// With the server's pool switch on, a load may take a slot preloaded by the interstitial cache.
//
// Threads: call it on the main thread. loadRequest always continues on the main queue, so a
// load started in one run-loop turn takes effect in a later one; delegate calls come on the
// main thread. The delegate is held weakly and only called while it exists.

#include <memory>
#include <optional>
#include <string>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/pipeline/messages/HRNSmallHMSGHandlers.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "platform/foundation/Error.h"

namespace platform::ui {
class ViewController;
}
class HRNAdReward;
class HRNInterstitial;
class HRNInterstitialViewController;
class HRNRequest;

// Every operation is optional: the defaults stand for a delegate that does not answer it.
class HRNInterstitialDelegate {
  public:
    virtual ~HRNInterstitialDelegate() = default;
    virtual void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) {}
    // The error is a HRNRequestError or another error.
    virtual void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                         const platform::Error&) {}
    virtual void interstitialWillPresentScreen(const std::shared_ptr<HRNInterstitial>&) {}
    virtual void interstitialDidFailToPresentScreen(const std::shared_ptr<HRNInterstitial>&) {}
    virtual void interstitialWillDismissScreen(const std::shared_ptr<HRNInterstitial>&) {}
    virtual void interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>&) {}
    virtual void interstitialWillLeaveApplication(const std::shared_ptr<HRNInterstitial>&) {}
    // Whether the ad may switch the audio session to `category`; std::nullopt: not answered.
    virtual std::optional<bool> adShouldChangeAudioSessionToCategory(
        const std::shared_ptr<HRNInterstitial>&,
        const std::string& /*category*/) {
        return std::nullopt;
    }
};

// A delegate that also adopts this hears the ad's clicks, at once, when the slot pings them.
class HRNInterstitialAdClickDelegate {
  public:
    virtual ~HRNInterstitialAdClickDelegate() = default;
    virtual void interstitialDidReceiveAdClick(const std::shared_ptr<HRNInterstitial>&) = 0;
};

// A delegate that also adopts this hears the page's reward messages: the video's start, then
// at most one reward per shown ad, and only after the start.
class HRNInterstitialRewardBasedVideoAdDelegate {
  public:
    virtual ~HRNInterstitialRewardBasedVideoAdDelegate() = default;
    virtual void interstitialDidStartPlayingRewardBasedVideoAd(
        const std::shared_ptr<HRNInterstitial>&) = 0;
    virtual void interstitialDidRewardUserWithReward(
        const std::shared_ptr<HRNInterstitial>&,
        const std::shared_ptr<const HRNAdReward>& reward) = 0;
};

class HRNInterstitial : public HRNSlotDelegate,
                        public HRNSlotAdLoadDelegate,
                        public HRNSlotAdEventDelegate,
                        public HRNSlotAdResponseDelegate,
                        public HRNAdMediationDelegate,
                        public HRNRewardBasedVideoAdHMSGHandlerDelegate,
                        public std::enable_shared_from_this<HRNInterstitial> {
  public:
    // Keeps a copy of the ad unit ID; no slot yet. Hold the object in a std::shared_ptr.
    explicit HRNInterstitial(std::string adUnitID = "");
    static std::shared_ptr<HRNInterstitial> create(std::string adUnitID);
    ~HRNInterstitial() override;

    const std::string& adUnitID() const { return adUnitID_; }
    void setAdUnitID(std::string adUnitID);

    std::shared_ptr<HRNInterstitialDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNInterstitialDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    // Copies the request and loads on the main queue; the result reaches the delegate.
    void loadRequest(const std::shared_ptr<HRNRequest>& request);

    // The slot holds a valid ad (state 6).
    bool isReady() const;
    bool hasBeenUsed() const { return hasBeenUsed_; }
    void setHasBeenUsed(bool used) { hasBeenUsed_ = used; }

    // Shows the loaded ad full screen once (see the class comment for what refuses it).
    void presentFromRootViewController(const std::shared_ptr<platform::ui::ViewController>& root);

    // Inside the SDK.
    const std::shared_ptr<HRNSlot>& slot() const { return slot_; }
    const std::shared_ptr<HRNInterstitialViewController>& viewController() const {
        return viewController_;
    }
    void createSlot();
    void cancel();
    bool canPresentFullScreen();
    static bool canFitAdSizeInWindowSizeWithThreshold(platform::ui::Size ad,
                                                      platform::ui::Size window,
                                                      double threshold);

    // HRNSlotDelegate
    std::optional<bool> slotShouldLoadRequestError(HRNSlot& slot,
                                                   const HRNRequest& request,
                                                   std::optional<platform::Error>* error) override;
    std::optional<bool> slotShouldReloadCurrentRequest(HRNSlot&) override { return false; }
    std::optional<platform::Dictionary> coordinatesOfContentInScreen(
        const platform::ui::Screen& screen) override;
    std::optional<bool> slotShouldChangeAudioSessionCategoryTo(
        HRNSlot& slot,
        const std::string& category) override;
    void slotDidReceiveAdClick(HRNSlot& slot) override;
    // HRNSlotAdLoadDelegate
    void slotFinishedLoadingAdContent(HRNSlot& slot) override;
    void slotDidFailToLoadAdContentWithError(HRNSlot& slot, const platform::Error& error) override;
    // HRNSlotAdEventDelegate
    void slotWillPresentScreen(HRNSlot& slot) override;
    void slotWillDismissScreen(HRNSlot& slot) override;
    void slotDidDismissScreen(HRNSlot& slot) override;
    void slotWillLeaveApplication(HRNSlot& slot) override;
    // HRNSlotAdResponseDelegate
    bool slotShouldProcessAdResponseError(HRNSlot& slot,
                                          const std::shared_ptr<HRNAd>& ad,
                                          std::optional<platform::Error>* error) override;
    bool slotShouldProcessMediatedAdResponseError(HRNSlot& slot,
                                                  const std::shared_ptr<HRNAd>& ad,
                                                  std::optional<platform::Error>* error) override;
    // HRNAdMediationDelegate
    std::string connectorClassForAd(const std::shared_ptr<HRNAd>&) override {
        return "HRNMAdNetworkConnectorInterstitial";
    }
    // HRNRewardBasedVideoAdHMSGHandlerDelegate
    void rewardBasedVideoAdHMSGHandlerDidReceiveStartVideoNotification(
        HRNRewardBasedVideoAdHMSGHandler& handler) override;
    void rewardBasedVideoAdHMSGHandlerDidReceiveRewardNotificationWithRewardItem(
        HRNRewardBasedVideoAdHMSGHandler& handler,
        const std::shared_ptr<const HRNAdReward>& reward) override;

  private:
    void loadCopiedRequest(const std::shared_ptr<HRNRequest>& request);
    void adoptSlot(const std::shared_ptr<HRNSlot>& slot);
    void adPresentationDidFail();
    // Runs `call` with the delegate on the main thread, while both exist.
    void toDelegate(std::function<void(HRNInterstitialDelegate&,
                                       const std::shared_ptr<HRNInterstitial>&)> call);

    std::optional<HRNRequestError> alreadyUsedError_;
    bool hasBeenUsed_ = false;
    std::string adUnitID_;
    std::weak_ptr<HRNInterstitialDelegate> delegate_;
    std::shared_ptr<HRNInterstitialViewController> viewController_;
    std::shared_ptr<HRNSlot> slot_;
    // While presentFromRootViewController hands the controller to its presenter the slot's
    // screen events wait here, so a refused presentation is told as a failure alone.
    bool presenting_ = false;
    bool willPresentPending_ = false;
    // The page's reward messages, once per shown ad.
    bool videoStarted_ = false;
    bool rewardGranted_ = false;
};
