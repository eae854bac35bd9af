#pragma once
// HRNAdAppViewController: the full-screen controller that hosts an HTML ad (an "ad app") in an
// ad web view over its whole view, with the SDK's close button on top (an invisible one when an
// MRAID ad draws its own, none when another ad does), the ad's wanted orientations, and the
// page told of the orientation. HRNInterstitialViewController shows an interstitial slot's ad:
// made with the slot before any ad has loaded, it presents only while the slot has its
// placement (the interstitial), holds that placement while on screen, tells the page "onshow"
// once it has appeared and "onhide" when it starts to leave, and drops the ad view when gone.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/rendering/presentation/HRNViewController.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/Button.h"

class HRNAdView;
class HRNAdAppAdViewDelegate;

class HRNAdAppViewController : public HRNViewController {
  public:
    // A null ad view makes a new one whose view controller is this one.
    static std::shared_ptr<HRNAdAppViewController> create(std::shared_ptr<HRNAdView> adView);
    ~HRNAdAppViewController() override;
    std::string className() const override { return "HRNAdAppViewController"; }

    bool useCustomClose() const { return useCustomClose_; }
    void setUseCustomClose(bool use);
    int64_t customClosePosition() const { return customClosePosition_; }
    void setCustomClosePosition(int64_t position);
    void closeButtonPressed() { relinquishScreenWithCompletion(nullptr); }
    virtual bool isLoaded() const;

    // The mask the ad wants (0: no wish).
    uint64_t adOrientations() const { return adOrientations_; }
    void setAdOrientations(uint64_t mask);
    bool adOrientationsOverridesLockedOrientation() const {
        return adOrientationsOverridesLockedOrientation_;
    }
    void setAdOrientationsOverridesLockedOrientation(bool overrides) {
        adOrientationsOverridesLockedOrientation_ = overrides;
    }
    double orientationUpdateAnimationDuration() const {
        return orientationUpdateAnimationDuration_;
    }
    void setOrientationUpdateAnimationDuration(double seconds) {
        orientationUpdateAnimationDuration_ = seconds;
    }
    int64_t forcedAdOrientation() const { return forcedAdOrientation_; }
    void setForcedAdOrientation(int64_t orientation) { forcedAdOrientation_ = orientation; }

    // Loads at once when the controller has an ad view, else when its view is built.
    void load(const std::optional<platform::net::URL>& url);
    void loadHTMLBaseURL(const std::optional<std::string>& html,
                         const std::optional<platform::net::URL>& baseURL);

    const std::shared_ptr<HRNAdView>& adView() const { return adView_; }
    void setAdView(std::shared_ptr<HRNAdView> adView) { adView_ = std::move(adView); }
    const std::shared_ptr<HRNAdAppAdViewDelegate>& adViewDelegate() const {
        return adViewDelegate_;
    }
    const std::shared_ptr<platform::ui::Button>& closeButton() const { return closeButton_; }
    bool viewWasConfigured() const { return viewWasConfigured_; }

    bool shouldDismissOnApplicationEnteringForeground() override;
    void relinquishScreenWithCompletion(std::function<void()> completion) override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewChangedToOrientation(int64_t orientation) override;

  protected:
    explicit HRNAdAppViewController(std::shared_ptr<HRNAdView> adView);
    void setUp();

  private:
    void configureView();
    void updateCloseButtonVisibilityAndImage();
    void positionMRAIDCloseButton();

    bool viewWasConfigured_ = false;
    std::optional<platform::net::URL> URLToLoad_;
    std::optional<std::string> HTMLToLoad_;
    std::optional<platform::net::URL> HTMLBaseURLToLoad_;
    bool viewHasAppearedAtLeastOnce_ = false;
    bool orientationNotifiedToTheAdViewAtLeastOnce_ = false;
    bool useCustomClose_ = false;
    bool adOrientationsOverridesLockedOrientation_ = false;
    int64_t customClosePosition_ = 0;
    std::shared_ptr<HRNAdView> adView_;
    std::shared_ptr<HRNAdAppAdViewDelegate> adViewDelegate_;
    std::shared_ptr<platform::ui::Button> closeButton_;
    uint64_t adOrientations_ = 0;
    double orientationUpdateAnimationDuration_ = 0;
    int64_t forcedAdOrientation_ = 0;
};

class HRNInterstitialViewController : public HRNAdAppViewController {
  public:
    // Shows the slot's ad view.
    static std::shared_ptr<HRNInterstitialViewController> create(
        const std::shared_ptr<HRNSlot>& slot);
    std::string className() const override { return "HRNInterstitialViewController"; }

    // Nothing happens (the completion does not run) when the slot has no placement.
    void presentFromViewController(const std::shared_ptr<platform::ui::ViewController>& controller,
                                   std::function<void()> completion) override;
    // The slot holds a valid ad (state 6).
    bool isLoaded() const override;
    void finishAppearing() override;
    void relinquishScreenWithCompletion(std::function<void()> completion) override;
    void finishDismissal() override;

    const std::shared_ptr<void>& placement() const { return placement_; }
    const std::string& screenName() const { return screenName_; }
    void setScreenName(std::string name) { screenName_ = std::move(name); }

  private:
    explicit HRNInterstitialViewController(std::shared_ptr<HRNAdView> adView)
        : HRNAdAppViewController(std::move(adView)) {}

    std::shared_ptr<void> placement_;
    std::string screenName_;
};
