#include "puffin/views/PFDefaultBackgroundView.h"

#include <cmath>
#include <set>

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/render/Canvas.h"
#include "puffin/core/PFUtilities.h"
#include "puffin/views/PFAnimationManager.h"

using platform::render::Color;

namespace {
constexpr double kFade = 0.2555;
}

PFDefaultBackgroundView::PFDefaultBackgroundView(const platform::ui::Rect& frame) : View(frame) {
    setOpaque(false);
    setBackgroundColor(Color::clear());
    setUserInteractionEnabled(true);  // takes the touches meant for what lies behind the ad
    if (supportsBlur()) {
        // The blur stand-in: a dark translucent sheet over what is behind.
        blurredView_ = std::make_shared<platform::ui::View>(bounds());
        blurredView_->setBackgroundColor(Color::fromRGB255(20, 20, 24, 0.82));
        blurredView_->setHidden(true);
        addSubview(blurredView_);
    }
}

bool PFDefaultBackgroundView::supportsBlur() {
    if (PFCompareVersions(platform::device::systemVersion(), "7.0") < 0) return false;
    static const std::set<std::string> slow = {"iPhone4,1", "iPad2,1", "iPad2,2", "iPad2,3",
                                               "iPad2,4",   "iPad3,1", "iPad3,2", "iPad3,3"};
    return !slow.count(platform::device::hardwareMachine());
}

void PFDefaultBackgroundView::showBlur(bool show) {
    if (!supportsBlur() || !blurredView_) return;
    blurredView_->setHidden(!show);
    showBlur_ = show;
}

void PFDefaultBackgroundView::layoutSubviews() {
    if (blurredView_) blurredView_->setFrame(bounds());
}

void PFDefaultBackgroundView::draw(platform::render::Canvas& canvas,
                                   const platform::ui::Rect& rect) {
    if (useBlur()) return;
    const double inner = gradientReversed_ ? 0.9 : 0.4;
    const double outer = gradientReversed_ ? 0.8 : 0.6;
    const platform::render::Point center{rect.size.width / 2, rect.size.height / 2};
    const double radius = std::hypot(center.x, center.y);
    canvas.fillRadialGradient(rect, center, 0, radius,
                              {{0, Color{0, 0, 0, inner}}, {1, Color{0, 0, 0, outer}}});
}

namespace {

// An "opacity" animation of the backdrop, kept at its end, whose stop runs `done`.
void fadeLayer(PFDefaultBackgroundView& view, double from, double to, std::function<void()> done) {
    auto fade = platform::ui::BasicAnimation::withKeyPath("opacity");
    fade.fromValue = from;
    fade.toValue = to;
    fade.duration = kFade;
    fade.removedOnCompletion = false;
    fade.fillMode = platform::ui::FillMode::Forwards;
    fade.delegate = PFAnimationManager::animationDidStopDelegateWithCallback(
        [done = std::move(done)](platform::ui::Animation&, bool) {
            if (done) done();
        });
    view.addAnimation(fade, "opacity");
}

}  // namespace

void PFDefaultBackgroundView::animateIn(std::function<void()> completion) {
    if (blurredView_) blurredView_->setAlpha(0);
    if (useBlur()) {
        platform::ui::View::animate(
            kFade, [this] { blurredView_->setAlpha(1); },
            [completion](bool finished) {
                if (finished && completion) completion();
            });
        return;
    }
    fadeLayer(*this, 0, 1, std::move(completion));
}

void PFDefaultBackgroundView::animateOut(std::function<void()> completion) {
    std::weak_ptr<View> weak = weak_from_this();
    if (useBlur()) {
        blurredView_->setAlpha(1);
        platform::ui::View::animate(
            kFade, [this] { blurredView_->setAlpha(0); },
            [weak, completion](bool finished) {
                auto self = weak.lock();
                if (!finished || !self) return;
                self->setHidden(true);
                if (completion) completion();
            });
        return;
    }
    fadeLayer(*this, 1, 0, [weak, completion] {
        auto self = weak.lock();
        if (!self) return;
        self->setHidden(true);
        if (completion) completion();
    });
}
