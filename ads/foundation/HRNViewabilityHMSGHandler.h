#pragma once
// HRNViewabilityHMSGHandler: takes the measurement page's viewability messages, in an ad
// page's handler chain or the SDK-core page's: "trackViewabilityUnit", "untrackViewabilityUnit"
// (with "hashCode") and "visibilityChanged" (with "hashCode" and "isVisible" = "1" or "0"). An
// ad's own page tracking starts its ad view's viewability reporter (the slot reports into the
// page), and untracking stops it. For the SDK-core page, untracking and visibility go to the
// delegate by unit ID; messages missing their parameters are ignored.
//
// Threading: main thread, like every handler chain. The delegate is held weakly.

#include <cstdint>
#include <memory>

#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNViewabilityHMSGHandler;

class HRNViewabilityHMSGHandlerDelegate {
  public:
    virtual ~HRNViewabilityHMSGHandlerDelegate() = default;
    virtual void viewabilityHMSGHandlerDidReceiveVisibilityNotificationForViewabilityID(
        HRNViewabilityHMSGHandler& handler,
        bool visible,
        int64_t viewabilityID) = 0;
    virtual void viewabilityHMSGHandlerDidReceiveUntrackNotificationForViewabilityID(
        HRNViewabilityHMSGHandler& handler,
        int64_t viewabilityID) = 0;
};

class HRNViewabilityHMSGHandler : public HRNHMSGHandler {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override;

    std::shared_ptr<HRNViewabilityHMSGHandlerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNViewabilityHMSGHandlerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    void adViewDidReceiveViewabilityTrackViewabilityNotification(
        const std::shared_ptr<HRNAdView>& adView,
        const Parameters& parameters);
    void adViewDidReceiveViewabilityUntrackViewabilityNotification(
        const std::shared_ptr<HRNAdView>& adView,
        const Parameters& parameters);
    void adViewDidReceiveViewabilityVisibilityChangedNotification(
        const std::shared_ptr<HRNAdView>& adView,
        const Parameters& parameters);

  private:
    std::weak_ptr<HRNViewabilityHMSGHandlerDelegate> delegate_;
};
