#pragma once
// The small handlers of an ad view's chain: HRNPrecacheHMSGHandler ("precache"),
// HRNRewardBasedVideoAdHMSGHandler ("reward"), HRNOrientationHMSGHandler ("forceOrientation"),
// and those the ad view delegates append: HRNAppEventHMSGHandler ("appEvent"),
// HRNAdAppHMSGHandler ("customClose", "setInterstitialProperties"),
// HRNSwipeToViewControllerHMSGHandler ("enableSwipeToViewController",
// "disableSwipeToViewController") and HRNDelayPageLoadHMSGHandler ("delayPageLoaded").
// The reward, orientation, app-event and ad-app handlers take their messages; the others hold
// their place in the chain and what they are made with until the features they drive
// (precaching, swipe to the store, delayed page loads) arrive.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNAdReward;
class HRNSlot;
class HRNRewardBasedVideoAdHMSGHandler;
class HRNDelayPageLoadHMSGHandler;

// What the interstitial behind a rewarded video hears of the page's "reward" message
// ("action" "video_start", or "grant" with a "type" and an "amount").
class HRNRewardBasedVideoAdHMSGHandlerDelegate {
  public:
    virtual ~HRNRewardBasedVideoAdHMSGHandlerDelegate() = default;
    virtual void rewardBasedVideoAdHMSGHandlerDidReceiveStartVideoNotification(
        HRNRewardBasedVideoAdHMSGHandler& /*handler*/) {}
    virtual void rewardBasedVideoAdHMSGHandlerDidReceiveRewardNotificationWithRewardItem(
        HRNRewardBasedVideoAdHMSGHandler& /*handler*/,
        const std::shared_ptr<const HRNAdReward>& /*reward*/) {}
};

// What hears a page delaying the end of its load.
class HRNDelayLoadDelegate {
  public:
    virtual ~HRNDelayLoadDelegate() = default;
    virtual void loadHandlerDidChangeDelayFromTo(HRNDelayPageLoadHMSGHandler& /*handler*/,
                                                 int64_t /*from*/,
                                                 int64_t /*to*/) {}
    virtual void loadHandlerDidCancel(HRNDelayPageLoadHMSGHandler& /*handler*/) {}
};

class HRNPrecacheHMSGHandler : public HRNHMSGHandler {};

// "reward": "video_start" tells the ad view's reward delegate that the video started; "grant"
// hands it the reward of "type" and "amount". An amount that is not a finite decimal number
// grants nothing.
class HRNRewardBasedVideoAdHMSGHandler : public HRNHMSGHandler {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override;
    // The amount a page's text stands for: a finite decimal number, the whole text.
    static std::optional<double> rewardAmountFromString(const std::string& text);
};

// "forceOrientation": the ad-app controller showing the ad takes the orientation ("any",
// "portrait", "landscape"); without "override" "1" a controller already held to one axis keeps
// it.
class HRNOrientationHMSGHandler : public HRNHMSGHandler {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override;
};

// "customClose" and "setInterstitialProperties" for the ad-app controller showing the ad; held
// back while the ad view has no controller.
class HRNAdAppHMSGHandler : public HRNHMSGHandler {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override;
    bool shouldBufferNotificationAdView(const HRNNotification& notification,
                                        const std::shared_ptr<HRNAdView>& adView) override;
};

// "appEvent" ("name", required; "info"): the slot's delegate hears it. Held back while the slot
// has no placement.
class HRNAppEventHMSGHandler : public HRNHMSGHandler {
  public:
    explicit HRNAppEventHMSGHandler(std::weak_ptr<HRNSlot> slot) : slot_(std::move(slot)) {}
    const ActionBlockDictionary& actionBlockDictionary() const override;
    bool shouldBufferNotificationAdView(const HRNNotification& notification,
                                        const std::shared_ptr<HRNAdView>& adView) override;
    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }

  private:
    std::weak_ptr<HRNSlot> slot_;
};

class HRNSwipeToViewControllerHMSGHandler : public HRNHMSGHandler {
  public:
    explicit HRNSwipeToViewControllerHMSGHandler(std::weak_ptr<HRNSlot> slot)
        : slot_(std::move(slot)) {}

  private:
    std::weak_ptr<HRNSlot> slot_;
};

class HRNDelayPageLoadHMSGHandler : public HRNHMSGHandler {
  public:
    explicit HRNDelayPageLoadHMSGHandler(std::weak_ptr<HRNDelayLoadDelegate> delegate)
        : delegate_(std::move(delegate)) {}

  private:
    std::weak_ptr<HRNDelayLoadDelegate> delegate_;
};
