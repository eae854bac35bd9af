#pragma once
// HRNDebugOptionsMenuSheet: the debug sheet an ad view offers on a wiggle. In this form it keeps
// what it was shown with; its dialogs (the ad's debug text, the bad-ad report, the in-app
// preview) come with the debug options. Main thread only.

#include <memory>
#include <optional>
#include <string>

namespace platform::ui {
class ViewController;
}

class HRNDebugOptionsMenuSheet {
  public:
    void showWithAdDebugDialogStringRootViewController(
        const std::optional<std::string>& adDebugDialogString,
        const std::shared_ptr<platform::ui::ViewController>& rootViewController) {
        adDebugDialogString_ = adDebugDialogString;
        rootViewController_ = rootViewController;
    }
    const std::optional<std::string>& adDebugDialogString() const { return adDebugDialogString_; }

  private:
    std::optional<std::string> adDebugDialogString_;
    std::weak_ptr<platform::ui::ViewController> rootViewController_;
};
