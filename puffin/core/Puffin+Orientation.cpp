// The small decisions the ad views follow: the orientation the facade reports and its masks,
// the window ads go into, the status bar, and the rotation of the ad on screen when the device
// turns.

#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "puffin/core/Puffin.h"
#include "puffin/views/PFDefaultViewController.h"

int64_t Puffin::orientation() {
    {
        std::lock_guard guard(mutex_);
        if (orientationOverriden_) return orientation_;
    }
    return platform::device::statusBarOrientation();
}

void Puffin::setOrientation(int64_t orientation) {
    std::lock_guard guard(mutex_);
    orientation_ = orientation;
    orientationOverriden_ = true;
}

uint64_t Puffin::orientationMaskForUIInterfaceOrientation(int64_t orientation) const {
    static constexpr uint64_t kMasks[] = {2, 4, 8, 16};
    return orientation >= 1 && orientation <= 4 ? kMasks[orientation - 1] : 0;
}

uint64_t Puffin::interfaceOrientationStringToInterfaceOrientation(const std::string& name) {
    if (name == "UIInterfaceOrientationPortrait") return 2;
    if (name == "UIInterfaceOrientationPortraitUpsideDown") return 4;
    if (name == "UIInterfaceOrientationLandscapeLeft") return 16;
    if (name == "UIInterfaceOrientationLandscapeRight") return 8;
    return 0;
}

uint64_t Puffin::supportedOrientationsMask() {
    auto puffin = sharedPuffin();
    if (!puffin) return 0;
    uint64_t mask = 0;
    for (const auto& name : puffin->supportedOrientations())
        mask |= interfaceOrientationStringToInterfaceOrientation(name);
    return mask;
}

std::optional<std::string> Puffin::deviceOrientationString(int64_t orientation) const {
    switch (orientation) {
        case 1:
            return "UIInterfaceOrientationPortrait";
        case 2:
            return "UIInterfaceOrientationPortraitUpsideDown";
        case 3:
            return "UIInterfaceOrientationLandscapeLeft";
        case 4:
            return "UIInterfaceOrientationLandscapeRight";
        default:
            return std::nullopt;
    }
}

// The key window: the application delegate of this system offers no window of its own.
std::shared_ptr<platform::ui::Window> Puffin::window() const {
    return platform::ui::Application::shared().keyWindow();
}

uint64_t Puffin::customSupportedInterfaceOrientations() const {
    const uint64_t mask = supportedOrientationsMask();
    return mask ? mask : 30;
}

void Puffin::showStatusBar(bool show) {
    platform::device::setStatusBarHidden(!show);
}

void Puffin::orientationChanged() {
    if (!isSessionStarted()) return;
    auto self = shared_from_this();
    platform::Queue::main()->after(0.25, [self] {
        auto controller = PFDefaultViewController::shared();
        if (auto impression = self->visibleImpression()) {
            const bool video = impression->type() == PFImpression::RewardedVideo ||
                               impression->type() == PFImpression::VideoInterstitial;
            controller->rotateImpressionToOrientationAnimated(impression, self->orientation(),
                                                              !video);
        }
        controller->rotateLoadingView();
    });
}
