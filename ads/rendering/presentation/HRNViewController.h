#pragma once
// HRNViewController: the base of the SDK's full-screen controllers (interstitials, ad apps, the
// in-app browser). It never presents itself: a presenter (HRNOverlayPresenting; the modal one
// unless another was set) puts it on screen and takes it off. While on screen it holds itself
// (so whoever asked for it may drop it), takes part in its slot's intermission (which gives the
// slot its will-present, will-dismiss and did-dismiss calls) and wants the status bar hidden.
//
//   off screen --present--> presenting (self-held, joined, no touches)
//     --appeared--> shown (touches) --relinquish--> leaving (not self-held) --gone--> off screen
//
// Leaving through UIKit's own dismissal (the appearance calls) counts the same; the dismissal
// bookkeeping runs once however it is reached. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>

#include "ads/rendering/presentation/HRNIntermission.h"
#include "platform/ui/ViewController.h"

class HRNSlot;
class HRNViewController;

// How a full-screen controller reaches the screen and leaves it.
class HRNOverlayPresenting {
  public:
    virtual ~HRNOverlayPresenting() = default;
    virtual std::shared_ptr<HRNViewController> presentedViewController() const = 0;
    virtual void setPresentedViewController(std::weak_ptr<HRNViewController> controller) = 0;
    virtual bool isReadyToPresent() const = 0;
    virtual void presentFromViewController(
        const std::shared_ptr<platform::ui::ViewController>& controller,
        std::function<void()> completion) = 0;
    // The controller further screens (a browser, a store sheet) are presented from.
    virtual std::shared_ptr<platform::ui::ViewController> presentationViewController() const = 0;
    virtual void dismissWithCompletionHandler(std::function<void()> handler) = 0;
    // The presented controller's wanted orientations changed.
    virtual void setNeedsUpdateOrientation() = 0;
};

class HRNViewController : public platform::ui::ViewController, public HRNIntermitting {
  public:
    HRNViewController();
    ~HRNViewController() override;
    std::string className() const override { return "HRNViewController"; }

    std::shared_ptr<HRNViewController> sharedFromThis() {
        return std::static_pointer_cast<HRNViewController>(shared_from_this());
    }

    std::shared_ptr<HRNIntermission> intermission() const override { return intermission_; }
    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }
    void setSlot(std::weak_ptr<HRNSlot> slot) { slot_ = std::move(slot); }

    // UIKit mask bits: 2 portrait, 4 upside down, 8 landscape right, 16 landscape left.
    uint64_t supportedInterfaceOrientations() const { return supportedInterfaceOrientations_; }
    // Sets the mask only when it is not 0.
    void setSupportedOrientations(uint64_t mask) {
        if (mask) supportedInterfaceOrientations_ = mask;
    }
    void setSupportedInterfaceOrientations(uint64_t mask) {
        supportedInterfaceOrientations_ = mask;
    }

    const std::shared_ptr<HRNOverlayPresenting>& presenter() const { return presenter_; }
    // Also makes this controller the presenter's presented controller.
    void setPresenter(std::shared_ptr<HRNOverlayPresenting> presenter);
    bool isSelfHeld() const { return retainCycle_ != nullptr; }

    // Runs once, when the dismissal finishes (or when the controller goes away before).
    void setDismissalCompletion(std::function<void()> completion) {
        dismissalCompletion_ = std::move(completion);
    }

    // Presentation goes to the presenter's presentation controller when that is another one.
    void presentViewControllerThroughPresenter(
        std::shared_ptr<platform::ui::ViewController> controller,
        bool animated,
        std::function<void()> completion);

    // HRNIntermitting
    void presentFromViewController(const std::shared_ptr<platform::ui::ViewController>& controller,
                                   std::function<void()> completion) override;
    bool shouldDismissOnApplicationEnteringForeground() override { return true; }
    void relinquishScreenWithCompletion(std::function<void()> completion) override;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool prefersStatusBarHidden() const { return true; }
    bool shouldAutorotate() const { return true; }

    // A new interface orientation (1 to 4); subclasses tell their page.
    virtual void viewChangedToOrientation(int64_t /*orientation*/) {}
    // The appearance has finished: touches are taken again.
    virtual void finishAppearing();
    // The dismissal has finished; a second call does nothing.
    virtual void finishDismissal();
    void addToCurrentIntermission();

  private:
    void recordDismissal();

    std::shared_ptr<HRNIntermission> intermission_;
    uint64_t supportedInterfaceOrientations_ = 30;
    std::weak_ptr<HRNSlot> slot_;
    std::shared_ptr<HRNViewController> retainCycle_;
    std::shared_ptr<HRNOverlayPresenting> presenter_;
    std::function<void()> dismissalCompletion_;
};
