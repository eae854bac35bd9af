#pragma once
// HRNViewController: the base of the SDK's full-screen controllers (interstitials, ad apps,
// the in-app browser). In this form it gives up the screen by being dismissed; joining a slot's
// intermission, the status bar and the idle timer come with the full-screen presentation.
//
// Main thread only.

#include <functional>

#include "platform/ui/ViewController.h"

class HRNViewController : public platform::ui::ViewController {
  public:
    std::string className() const override { return "HRNViewController"; }
    // Leaves the screen; `completion` runs once it is gone.
    virtual void relinquishScreenWithCompletion(std::function<void()> completion) {
        dismissViewController(true, std::move(completion));
    }
};
