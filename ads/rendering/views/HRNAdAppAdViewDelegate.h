#pragma once
// HRNAdAppAdViewDelegate: the delegate of a full-screen ad app's page (an interstitial shown by
// its controller). Besides every ad view's message chain it takes the ad-app messages (custom
// close, interstitial properties) and, for interstitials, app events; it pings the slot's click
// URLs on the ad's first link click, and lets the page have its MRAID script while it loads.
//
// Main thread only.

#include <memory>

#include "ads/pipeline/messages/HRNAdViewDelegate.h"

class HRNAdAppViewController;

class HRNAdAppAdViewDelegate : public HRNAdViewDelegate {
  public:
    static std::shared_ptr<HRNAdAppAdViewDelegate> create(
        const std::shared_ptr<HRNAdAppViewController>& controller);

    std::shared_ptr<HRNAdAppViewController> adAppViewController() const {
        return controller_.lock();
    }
    bool hasPingedClickURLs() const { return pingedClickURLs_; }

    bool adViewShouldStartLoadWithRequestNavigationType(
        const std::shared_ptr<HRNAdView>& adView,
        const platform::net::URLRequest& request,
        platform::web::NavigationType type) override;
    void adViewDidStartLoad(const std::shared_ptr<HRNAdView>& adView) override;
    void adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) override;
    void adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>& adView,
                                    const platform::Error& error) override;

  private:
    explicit HRNAdAppAdViewDelegate(std::weak_ptr<HRNAdAppViewController> controller)
        : controller_(std::move(controller)) {}

    std::weak_ptr<HRNAdAppViewController> controller_;
    bool pingedClickURLs_ = false;
};
