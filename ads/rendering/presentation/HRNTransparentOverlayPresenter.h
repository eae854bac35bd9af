#pragma once
// HRNTransparentOverlayPresenter: shows a full-screen ad whose page asked for a transparent
// background ("setInterstitialProperties"). Instead of a modal presentation the controller's
// view, with a clear background, is laid straight into the application's window above
// everything else, inside two views that never take a touch themselves (a square pivot view
// centred on the application frame and a crop view of the application frame's size). The game
// stays visible, and it keeps its touches wherever the ad draws nothing. The ad slides in from
// the bottom over 0.4 s, fades out over 0.2 s, and is closed when its slot's placement leaves
// its window. While shown it follows the status bar's orientation: the crop view takes the
// application frame as the new orientation shows it (the ad's view, flexible in both
// directions, follows) and the controller hears the orientation once the turn is drawn. The
// status bar is left alone.
//
// Set on the ad-app controller before it is presented and owned by it; holds the controller
// weakly. The controller is told of its appearance and disappearance by the presenter, since no
// presentation does it. Main thread only.

#include <memory>

#include "ads/rendering/presentation/HRNViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/View.h"

// A view that never takes a touch on its own area: touches there reach whatever lies beneath,
// while its subviews take theirs as usual.
class HRNUnclickableView : public platform::ui::View {
  public:
    using platform::ui::View::View;
    std::shared_ptr<platform::ui::View> hitTest(platform::ui::Point point) override;
};

class HRNTransparentOverlayPresenter
    : public HRNOverlayPresenting,
      public std::enable_shared_from_this<HRNTransparentOverlayPresenter> {
  public:
    HRNTransparentOverlayPresenter();
    ~HRNTransparentOverlayPresenter() override;

    std::shared_ptr<HRNViewController> presentedViewController() const override {
        return presented_.lock();
    }
    void setPresentedViewController(std::weak_ptr<HRNViewController> controller) override {
        presented_ = std::move(controller);
    }
    bool isReadyToPresent() const override { return !presented_.expired(); }
    void presentFromViewController(const std::shared_ptr<platform::ui::ViewController>& controller,
                                   std::function<void()> completion) override;
    // The top-most controller of the window the ad shows in: further screens (a browser, a
    // store sheet) come over the application from there.
    std::shared_ptr<platform::ui::ViewController> presentationViewController() const override;
    void dismissWithCompletionHandler(std::function<void()> handler) override;
    void setNeedsUpdateOrientation() override {}

    // `frame` inset on each side by half the difference of sizes.
    static platform::ui::Rect frameWithSizeCenteredInFrame(platform::ui::Size size,
                                                           const platform::ui::Rect& frame);
    // The application frame as the orientation shows it, centred in the pivot view.
    platform::ui::Rect pivotedApplicationFrameForOrientation(int64_t orientation) const;
    // The pivot view's turn for a status bar orientation: systems whose windows do not turn
    // their content (before 8.0) turn it here; later ones need none.
    static platform::render::Transform3D transformForOrientation(int64_t orientation);

    const std::shared_ptr<platform::ui::View>& pivotView() const { return pivotView_; }
    const std::shared_ptr<platform::ui::View>& cropView() const { return cropView_; }

  protected:
    virtual void composeTransparentInterstitialViewsForPresentation();
    void animateTransparentInterstitialPresentationWithCompletionHandler(
        std::function<void()> completion);
    // The status bar turned while the ad shows.
    void updateTransparentInterstitialOrientation();

  private:
    void stopObserving();

    std::weak_ptr<HRNViewController> presented_;
    std::shared_ptr<platform::ui::View> pivotView_;
    std::shared_ptr<platform::ui::View> cropView_;
    platform::NotificationCenter::Token orientationChangeListener_ = 0;
    platform::NotificationCenter::Token placementDisappearanceObserver_ = 0;
};
