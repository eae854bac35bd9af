#pragma once
// The full-screen "Loading..." overlay shown while a click is handled or a template loads, with
// an indeterminate progress bar and a close button that the facade reveals after a while; a tap
// on it takes the overlay off and ends the click. Main thread only.

#include <memory>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "puffin/views/PFWidgets.h"

namespace platform::ui {
class ViewController;
}

class PFLoadingView : public platform::ui::View {
  public:
    static std::shared_ptr<PFLoadingView> create(const platform::ui::Rect& frame);
    explicit PFLoadingView(const platform::ui::Rect& frame) : View(frame) {}
    std::string className() const override { return "PFLoadingView"; }

    std::shared_ptr<platform::ui::View> transparentView;
    std::shared_ptr<platform::ui::Label> label;
    std::shared_ptr<PFUnderfinedProgressBar> progressBar;
    std::shared_ptr<PFCloseButton> closeButton;
    std::shared_ptr<platform::ui::TapGestureRecognizer> closeButtonTapRecognizer;
    std::shared_ptr<platform::ui::ViewController> viewController;

    void handleCloseButtonTap();
    void layoutSubviews() override;
};
