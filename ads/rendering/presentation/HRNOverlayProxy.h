#pragma once
// HRNOverlayProxy: lets a system controller that an ad opens (the store's product sheet, a
// composer, the calendar editor) take part in its slot's intermission like one of the SDK's own
// full-screen controllers, so the slot hears will-present, will-dismiss and did-dismiss for it,
// once per intermission however many screens are stacked. Unlike the SDK's controllers it is
// never closed on the return to the foreground: the user may be half way through a mail.
//
// A controller has at most one proxy, kept with it and owned by it; the proxy holds the
// controller weakly and keeps the opener that showed it alive while it is on screen.
//
// Main thread only.

#include <functional>
#include <memory>

#include "ads/rendering/presentation/HRNIntermission.h"

class HRNOpener;
class HRNSlot;

namespace platform::ui {
class ViewController;
}

class HRNOverlayProxy : public HRNIntermitting,
                        public std::enable_shared_from_this<HRNOverlayProxy> {
  public:
    // The proxy kept with `controller`, or null.
    static std::shared_ptr<HRNOverlayProxy> overlayProxyForViewController(
        const platform::ui::ViewController& controller);
    // A new proxy kept with `controller`; null when the controller is null or already has one.
    static std::shared_ptr<HRNOverlayProxy> create(
        const std::shared_ptr<platform::ui::ViewController>& controller);
    HRNOverlayProxy(const HRNOverlayProxy&) = delete;
    HRNOverlayProxy& operator=(const HRNOverlayProxy&) = delete;

    std::shared_ptr<platform::ui::ViewController> viewController() const {
        return viewController_.lock();
    }
    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }
    void setSlot(std::weak_ptr<HRNSlot> slot) { slot_ = std::move(slot); }
    const std::shared_ptr<HRNOpener>& opener() const { return opener_; }
    void setOpener(std::shared_ptr<HRNOpener> opener) { opener_ = std::move(opener); }

    // HRNIntermitting. Presenting joins the slot's intermission (making it when the slot has
    // none) and presents the proxied controller from `controller`, animated; it happens once:
    // while the proxy is in an intermission a second call does nothing and drops `completion`.
    void presentFromViewController(const std::shared_ptr<platform::ui::ViewController>& controller,
                                   std::function<void()> completion) override;
    bool shouldDismissOnApplicationEnteringForeground() override { return false; }
    // Dismisses the proxied controller, animated; once it is gone `completion` runs, then the
    // proxy leaves the intermission.
    void relinquishScreenWithCompletion(std::function<void()> completion) override;
    std::shared_ptr<HRNIntermission> intermission() const override { return intermission_; }

  private:
    explicit HRNOverlayProxy(std::weak_ptr<platform::ui::ViewController> controller)
        : viewController_(std::move(controller)) {}
    void finishRelinquishing();

    std::shared_ptr<HRNIntermission> intermission_;
    std::weak_ptr<platform::ui::ViewController> viewController_;
    std::weak_ptr<HRNSlot> slot_;
    std::shared_ptr<HRNOpener> opener_;
};
