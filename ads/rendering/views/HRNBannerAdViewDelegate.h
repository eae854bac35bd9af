#pragma once
// HRNBannerAdViewDelegate: the delegate of a slot's own ad view. Besides the page-message chain
// of every ad view (it appends the app-event, ad-app, swipe and delayed-load handlers), it
// decides what counts as a click (a touched ad, at least 0.15 s after its page loaded, not a
// reload or a history move, in a state where the slot is not rendering), reports clicks to the
// slot and opens them through the opener instead of loading them in the ad view, and finishes
// the slot's rendering when the page has loaded, unless the creative holds that moment back.
//
// Main thread only.

#include <memory>

#include "ads/pipeline/messages/HRNAdViewDelegate.h"
#include "ads/pipeline/messages/HRNSmallHMSGHandlers.h"

class HRNSlot;

class HRNBannerAdViewDelegate : public HRNAdViewDelegate, public HRNDelayLoadDelegate {
  public:
    static std::shared_ptr<HRNBannerAdViewDelegate> create(std::weak_ptr<HRNSlot> slot);

    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }
    bool isLoadDelayed() const { return loadDelayed_; }
    bool isLoadFinished() const { return loadFinished_; }
    bool isClick(platform::web::NavigationType type) const;

    bool adViewShouldStartLoadWithRequestNavigationType(
        const std::shared_ptr<HRNAdView>& adView,
        const platform::net::URLRequest& request,
        platform::web::NavigationType type) override;
    void adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) override;
    void adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>& adView,
                                    const platform::Error& error) override;
    void adViewContentSizeDidChange(const std::shared_ptr<HRNAdView>& adView,
                                    platform::ui::Size size) override;

    // HRNDelayLoadDelegate
    void loadHandlerDidChangeDelayFromTo(HRNDelayPageLoadHMSGHandler& handler,
                                         int64_t from,
                                         int64_t to) override;
    void loadHandlerDidCancel(HRNDelayPageLoadHMSGHandler& handler) override;

  private:
    explicit HRNBannerAdViewDelegate(std::weak_ptr<HRNSlot> slot) : slot_(std::move(slot)) {}

    std::weak_ptr<HRNSlot> slot_;
    bool loadDelayed_ = false;
    bool loadFinished_ = false;
};
