#pragma once
// The one object that puts a Puffin ad on screen and takes it off again. The facade and the
// rewarded-video unit hand it an impression whose view is made and prepared; it adds the view,
// a dimmed backdrop and, while a click is handled or a template loads, the loading view to the
// SDK's window (or to the presenting controller's view), turns them to the interface
// orientation and runs the entrance and exit animations of the ad's "animation" type.
//
// Depths: the backdrop at z-position 110000, the ad view during its transition at 111000, the
// loading view at 120000. One ad view at a time: the facade's view-visible flag, set on display
// and cleared when a dismiss starts, gates both display operations.
//
// Threading: main thread, except shared(), loadingView() and dismissLoadingView, which may be
// called from any thread (the loading view goes on the main thread; no lock is held while
// waiting for it).

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/render/Geometry.h"

class PFImpression;
class PFDefaultBackgroundView;
class PFLoadingView;
namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui

class PFDefaultViewController : public std::enable_shared_from_this<PFDefaultViewController> {
  public:
    static constexpr double kBackdropDepth = 110000;
    static constexpr double kTransitionDepth = 111000;
    static constexpr double kLoadingDepth = 120000;
    static constexpr double kAnimationDuration = 0.2555;

    static std::shared_ptr<PFDefaultViewController> shared();

    // Shows an interstitial or rewarded video; false (and nothing done) when an ad view is
    // visible, or (with the view's fail callback, code 3) when the view supports none of the
    // current orientation.
    bool displayInterstitial(const std::shared_ptr<PFImpression>& impression);
    bool displayMoreApps(const std::shared_ptr<PFImpression>& impression);
    void dismissInterstitialDidClose(const std::shared_ptr<PFImpression>& impression,
                                     bool didClose);
    void dismissMoreApps(const std::shared_ptr<PFImpression>& impression);
    void rotateImpressionToOrientationAnimated(const std::shared_ptr<PFImpression>& impression,
                                               int64_t orientation,
                                               bool animated);
    void showImpression(const std::shared_ptr<PFImpression>& impression);
    void hideImpression(const std::shared_ptr<PFImpression>& impression);
    void pauseImpression(const std::shared_ptr<PFImpression>& impression);
    void resumeImpression(const std::shared_ptr<PFImpression>& impression);

    void displayLoadingViewInViewController(std::shared_ptr<platform::ui::ViewController> controller);
    void rotateLoadingView();
    void dismissLoadingView();
    std::shared_ptr<PFLoadingView> loadingView() const;
    std::shared_ptr<PFDefaultBackgroundView> backgroundView() const;

    std::shared_ptr<platform::ui::View> puffinRootView(const std::shared_ptr<PFImpression>& impression);
    static double orientationToAngle(int64_t orientation);
    platform::render::Rect adjustFrameForStatusBar(const platform::render::Rect& frame);

    PFDefaultViewController(const PFDefaultViewController&) = delete;
    PFDefaultViewController& operator=(const PFDefaultViewController&) = delete;

  private:
    PFDefaultViewController();
    void layoutImpression(const std::shared_ptr<PFImpression>& impression, int64_t orientation);

    mutable std::mutex mutex_;
    std::shared_ptr<PFLoadingView> loadingView_;
    mutable std::shared_ptr<PFDefaultBackgroundView> backgroundView_;
};
