#pragma once
// HRNModalOverlayPresenter: the default presenter of the SDK's full-screen controllers. It
// presents the controller modally over the application's controller with the status bar hidden
// (hidden again whenever the application returns to the foreground while it shows), dismisses
// it, and carries out the ad's wanted orientations: in the application-orientation mode by
// setting the controller's supported orientations, otherwise by holding the controller in the
// status bar's orientation and turning the ad's view when the ad wants the other axis.
//
// Made by the controller it serves and owned by it; holds the controller weakly. Main thread
// only.

#include <memory>

#include "ads/rendering/presentation/HRNViewController.h"
#include "platform/foundation/NotificationCenter.h"

class HRNAdAppViewController;

class HRNModalOverlayPresenter : public HRNOverlayPresenting,
                                 public std::enable_shared_from_this<HRNModalOverlayPresenter> {
  public:
    ~HRNModalOverlayPresenter() override;

    std::shared_ptr<HRNViewController> presentedViewController() const override {
        return presented_.lock();
    }
    void setPresentedViewController(std::weak_ptr<HRNViewController> controller) override {
        presented_ = std::move(controller);
    }
    bool isReadyToPresent() const override { return !presented_.expired(); }
    void presentFromViewController(const std::shared_ptr<platform::ui::ViewController>& controller,
                                   std::function<void()> completion) override;
    std::shared_ptr<platform::ui::ViewController> presentationViewController() const override {
        return presented_.lock();
    }
    // When the controller is no longer on top of its presenter the handler runs at once.
    void dismissWithCompletionHandler(std::function<void()> handler) override;
    void setNeedsUpdateOrientation() override;

    void hideStatusBar();
    void updateViewControllerOrientation(HRNAdAppViewController& controller);
    void forceUpdateViewControllerOrientation(HRNAdAppViewController& controller);

  private:
    void stopObservingForeground();

    std::weak_ptr<HRNViewController> presented_;
    platform::NotificationCenter::Token appForegroundObserver_ = 0;
};
