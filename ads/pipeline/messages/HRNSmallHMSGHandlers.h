#pragma once
// The small handlers of an ad view's chain: HRNPrecacheHMSGHandler ("precache"),
// HRNRewardBasedVideoAdHMSGHandler ("reward"), HRNOrientationHMSGHandler ("forceOrientation"),
// and those the ad view delegates append: HRNAppEventHMSGHandler ("appEvent"),
// HRNAdAppHMSGHandler ("customClose", "setInterstitialProperties"),
// HRNSwipeToViewControllerHMSGHandler ("enableSwipeToViewController",
// "disableSwipeToViewController") and HRNDelayPageLoadHMSGHandler ("delayPageLoaded"). In this
// form each holds its place in the chain and what it is made with; their messages come with
// the features they drive (precaching, rewarded video, full-screen orientation, app events,
// custom close, swipe to the store, delayed page loads), and until then they take none.
//
// Main thread only.

#include <memory>

#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNSlot;
class HRNRewardBasedVideoAdHMSGHandler;
class HRNDelayPageLoadHMSGHandler;

// What the interstitial behind a rewarded video hears of the page's "reward" message.
class HRNRewardBasedVideoAdHMSGHandlerDelegate {
  public:
    virtual ~HRNRewardBasedVideoAdHMSGHandlerDelegate() = default;
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
class HRNRewardBasedVideoAdHMSGHandler : public HRNHMSGHandler {};
class HRNOrientationHMSGHandler : public HRNHMSGHandler {};
class HRNAdAppHMSGHandler : public HRNHMSGHandler {};

class HRNAppEventHMSGHandler : public HRNHMSGHandler {
  public:
    explicit HRNAppEventHMSGHandler(std::weak_ptr<HRNSlot> slot) : slot_(std::move(slot)) {}

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
