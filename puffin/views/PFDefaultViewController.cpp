#include "puffin/views/PFDefaultViewController.h"

#include <cmath>

#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "puffin/core/PFImpression.h"
#include "puffin/core/Puffin.h"
#include "puffin/views/PFAnimationManager.h"
#include "puffin/views/PFDefaultBackgroundView.h"
#include "puffin/views/PFLoadingView.h"

using platform::ui::Rect;

namespace {

std::shared_ptr<platform::ui::View> viewOf(const std::shared_ptr<PFImpression>& impression) {
    auto view = impression ? impression->view() : nullptr;
    return view ? view->view() : nullptr;
}

int animationType(const std::shared_ptr<PFImpression>& impression, int fallback) {
    auto it = impression->responseContext().find("animation");
    const int type =
        it == impression->responseContext().end() ? 0 : static_cast<int>(it->second.asInteger());
    return type == 0 ? fallback : type;
}

// The end of an exit: the view goes unless something else took the impression meanwhile, then
// the facade hears that the view is off screen.
void finishDismissal(const std::shared_ptr<PFImpression>& impression) {
    if (impression->state() == PFImpression::Closing) {
        impression->setState(PFImpression::Dismissed);
        if (auto view = impression->view()) view->destroy();
    }
    if (auto pf = Puffin::sharedPuffin()) pf->didDismissView();
}

// Runs the exit animation of `type`, then finishDismissal (at once when no animation is made).
void transitionOut(const std::shared_ptr<PFImpression>& impression, int type) {
    auto view = viewOf(impression);
    if (view) view->setZPosition(PFDefaultViewController::kTransitionDepth);
    const bool animated =
        PFAnimationManager::transitionOutWithAnimationTypeLayerDurationAnimationConfigurationBlock(
            type, view, PFDefaultViewController::kAnimationDuration,
            [impression](platform::ui::Animation& animation) {
                animation.delegate = PFAnimationManager::animationDidStopDelegateWithCallback(
                    [impression](platform::ui::Animation&, bool) { finishDismissal(impression); });
            });
    if (!animated) platform::Queue::main()->async([impression] { finishDismissal(impression); });
}

}  // namespace

std::shared_ptr<PFDefaultViewController> PFDefaultViewController::shared() {
    static const auto& instance =
        *new std::shared_ptr<PFDefaultViewController>(new PFDefaultViewController());
    return instance;
}

PFDefaultViewController::PFDefaultViewController() = default;

std::shared_ptr<PFLoadingView> PFDefaultViewController::loadingView() const {
    std::lock_guard lock(mutex_);
    return loadingView_;
}

// Made on first use, on the main thread: the controller itself may be reached from any thread.
std::shared_ptr<PFDefaultBackgroundView> PFDefaultViewController::backgroundView() const {
    std::lock_guard lock(mutex_);
    if (!backgroundView_) {
        platform::ui::assertMainThread("PFDefaultViewController::backgroundView");
        backgroundView_ = std::make_shared<PFDefaultBackgroundView>(Rect{0, 0, 0, 0});
        backgroundView_->setHidden(true);
    }
    return backgroundView_;
}

std::shared_ptr<platform::ui::View> PFDefaultViewController::puffinRootView(
    const std::shared_ptr<PFImpression>& impression) {
    if (auto controller = impression ? impression->presentingViewController() : nullptr)
        return controller->view();
    auto pf = Puffin::sharedPuffin();
    return pf ? pf->window() : nullptr;
}

double PFDefaultViewController::orientationToAngle(int64_t orientation) {
    switch (orientation) {
        case 2:
            return M_PI;
        case 3:
            return M_PI / 2;
        case 4:
            return -M_PI / 2;
        default:
            return 0;
    }
}

Rect PFDefaultViewController::adjustFrameForStatusBar(const Rect& frame) {
    auto pf = Puffin::sharedPuffin();
    if (!pf || pf->statusBarBehavior() != 2) return frame;
    const double sh = platform::device::statusBarHeight();
    const double sw = sh;  // the bar's thickness along a landscape edge
    Rect adjusted = frame;
    if (!PFUsesPreIOS8Layout()) {
        adjusted.origin.y += sh;
        adjusted.size.height -= sh;
        return adjusted;
    }
    switch (pf->orientation()) {
        case 1:
            adjusted.origin.y += sh;
            adjusted.size.height -= sh;
            break;
        case 2:
            adjusted.size.height -= sh;
            break;
        case 3:
            adjusted.size.width -= sw;
            break;
        case 4:
            adjusted.origin.x += sw;
            adjusted.size.width -= sw;
            break;
        default:
            break;
    }
    return adjusted;
}

// ---- showing

bool PFDefaultViewController::displayInterstitial(const std::shared_ptr<PFImpression>& impression) {
    auto adView = impression->view();
    auto view = viewOf(impression);
    if (!adView || !view || Puffin::isViewVisible()) return false;
    auto pf = Puffin::sharedPuffin();
    const int64_t orientation = pf ? pf->orientation() : 1;
    const uint64_t supported = adView->supportedOrientations();
    if ((supported & 30) == 0 ||
        (pf && (supported & pf->orientationMaskForUIInterfaceOrientation(orientation)) == 0)) {
        if (auto fail = adView->failCallback()) fail(PFLoadErrorWrongOrientation);
        return false;
    }
    Puffin::setViewIsVisible(true);
    auto root = puffinRootView(impression);
    if (!root) {
        Puffin::setViewIsVisible(false);
        if (auto fail = adView->failCallback()) fail(PFLoadErrorErrorDownloadingAsset);
        return false;
    }
    rotateImpressionToOrientationAnimated(impression, orientation, false);

    auto backdrop = backgroundView();
    const Rect bounds = root->bounds();
    backdrop->setZPosition(kBackdropDepth);
    backdrop->setHidden(false);
    backdrop->setFrame(
        {bounds.origin.x, bounds.origin.y, bounds.size.width * 2, bounds.size.height * 2});
    if (auto blur = impression->responseContext().find("blur-background");
        blur != impression->responseContext().end())
        backdrop->showBlur(blur->second.asBool());
    std::weak_ptr<PFDefaultBackgroundView> weakBackdrop = backdrop;
    backdrop->animateIn([weakBackdrop] {
        if (auto b = weakBackdrop.lock()) b->setZPosition(0);
    });
    root->addSubview(backdrop);
    if (pf) pf->willDisplayView();
    const int type = animationType(impression, 1);
    view->setZPosition(kTransitionDepth);
    std::weak_ptr<platform::ui::View> weakView = view;
    PFAnimationManager::transitionInWithAnimationTypeLayerDurationAnimationConfigurationBlock(
        type, view, kAnimationDuration, [weakView](platform::ui::Animation& animation) {
            animation.delegate = PFAnimationManager::animationDidStopDelegateWithCallback(
                [weakView](platform::ui::Animation&, bool) {
                    if (auto v = weakView.lock()) v->setZPosition(0);
                });
        });
    root->addSubview(view);
    if (auto playback = std::dynamic_pointer_cast<PFInterstitialPlayback>(adView))
        playback->startPlayback();
    return true;
}

bool PFDefaultViewController::displayMoreApps(const std::shared_ptr<PFImpression>& impression) {
    auto view = viewOf(impression);
    if (!view || Puffin::isViewVisible()) return false;
    auto pf = Puffin::sharedPuffin();
    view->setBackgroundColor(platform::render::Color{0.19921875, 0.19921875, 0.19921875, 1.0});
    rotateImpressionToOrientationAnimated(impression, pf ? pf->orientation() : 1, false);
    Puffin::setViewIsVisible(true);
    if (pf) pf->willDisplayView();
    PFAnimationManager::transitionInWithAnimationTypeLayer(animationType(impression, 3), view);
    if (auto root = puffinRootView(impression)) root->addSubview(view);
    return true;
}

void PFDefaultViewController::dismissInterstitialDidClose(
    const std::shared_ptr<PFImpression>& impression,
    bool didClose) {
    Puffin::setViewIsVisible(false);
    auto pf = Puffin::sharedPuffin();
    auto adView = impression->view();
    if (adView && pf) adView->setOrientation(pf->orientation());
    auto backdrop = backgroundView();
    if (didClose || !backdrop->supportsBlur()) {
        std::weak_ptr<PFDefaultBackgroundView> weakBackdrop = backdrop;
        backdrop->animateOut([weakBackdrop] {
            if (auto b = weakBackdrop.lock()) b->setZPosition(0);
        });
    }
    const int type = animationType(impression, 1);
    impression->setState(PFImpression::Closing);
    transitionOut(impression, type);
}

void PFDefaultViewController::dismissMoreApps(const std::shared_ptr<PFImpression>& impression) {
    Puffin::setViewIsVisible(false);
    const int type = animationType(impression, 3);
    impression->setState(PFImpression::Closing);
    transitionOut(impression, type);
}

void PFDefaultViewController::layoutImpression(const std::shared_ptr<PFImpression>& impression,
                                               int64_t orientation) {
    auto adView = impression->view();
    auto view = viewOf(impression);
    auto root = puffinRootView(impression);
    if (!adView || !view || !root) return;
    const Rect bounds = root->bounds();
    backgroundView()->setFrame(
        {bounds.origin.x, bounds.origin.y, bounds.size.width * 2, bounds.size.height * 2});
    view->setFrame(adView->shouldAdjustFrameForStatusBar() ? adjustFrameForStatusBar(bounds)
                                                           : bounds);
    adView->setOrientation(orientation);
    view->setNeedsLayout();
}

void PFDefaultViewController::rotateImpressionToOrientationAnimated(
    const std::shared_ptr<PFImpression>& impression,
    int64_t orientation,
    bool animated) {
    rotateLoadingView();
    auto adView = impression->view();
    auto view = viewOf(impression);
    if (!adView || !view || orientation < 0 || orientation > 63) return;
    if ((adView->supportedOrientations() & (uint64_t{1} << orientation)) == 0) return;
    const bool presented = impression->presentingViewController() != nullptr;
    if (presented && impression->type() == PFImpression::MoreApps) return;
    double from = orientationToAngle(adView->orientation());
    double to = orientationToAngle(orientation);
    const bool pre = PFUsesPreIOS8Layout();
    if (!presented && pre)
        view->setTransform(platform::render::Transform3D::makeRotation(to, 0, 0, 1));
    if (!animated || presented || !pre) {
        layoutImpression(impression, orientation);
        return;
    }
    const double turn = to - from;
    const double duration =
        (turn <= -M_PI / 2 || turn >= M_PI / 2) ? 2 * kAnimationDuration : kAnimationDuration;
    const int64_t current = adView->orientation();
    if (orientation == 2 && current == 1)
        to = -to;
    else if ((orientation == 1 || orientation == 4) && current == 2)
        from = -from;
    else if (orientation == 2 && current == 4)
        to = -to;
    auto rotation = platform::ui::BasicAnimation::withKeyPath("transform.rotation");
    rotation.fromValue = double(static_cast<float>(from));
    rotation.toValue = double(static_cast<float>(to));
    rotation.duration = duration;
    rotation.timingFunction =
        platform::ui::TimingFunction::named(platform::ui::TimingFunction::Name::EaseInEaseOut);
    rotation.removedOnCompletion = true;
    rotation.fillMode = platform::ui::FillMode::Forwards;
    view->addAnimation(rotation, "rotation");
    auto self = shared_from_this();
    platform::Queue::main()->after(duration / 2, [self, impression, orientation] {
        self->layoutImpression(impression, orientation);
    });
}

void PFDefaultViewController::showImpression(const std::shared_ptr<PFImpression>& impression) {
    auto view = viewOf(impression);
    auto backdrop = backgroundView();
    platform::ui::View::animate(kAnimationDuration, [&] {
        if (view) view->setAlpha(1);
        backdrop->setAlpha(1);
    });
}

void PFDefaultViewController::hideImpression(const std::shared_ptr<PFImpression>& impression) {
    auto view = viewOf(impression);
    auto backdrop = backgroundView();
    platform::ui::View::animate(kAnimationDuration, [&] {
        if (view) view->setAlpha(0);
        backdrop->setAlpha(0);
    });
}

void PFDefaultViewController::pauseImpression(const std::shared_ptr<PFImpression>& impression) {
    if (impression->type() != PFImpression::RewardedVideo) return;
    if (auto view = impression->view()) view->pause();
}

void PFDefaultViewController::resumeImpression(const std::shared_ptr<PFImpression>& impression) {
    if (auto view = impression->view(); view && view->answersPlayAndPause()) view->play();
}

// ---- the loading view

void PFDefaultViewController::displayLoadingViewInViewController(
    std::shared_ptr<platform::ui::ViewController> controller) {
    if (loadingView()) return;
    std::shared_ptr<platform::ui::View> container;
    if (controller) {
        container = controller->view();
    } else if (auto pf = Puffin::sharedPuffin()) {
        container = pf->window();
    }
    auto loading = PFLoadingView::create(Rect{0, 0, 0, 0});
    loading->viewController = controller;
    {
        std::lock_guard lock(mutex_);
        loadingView_ = loading;
    }
    rotateLoadingView();
    loading->setZPosition(kLoadingDepth);
    if (auto pf = Puffin::sharedPuffin()) pf->willDisplayView();
    if (container) container->addSubview(loading);
    auto fade = platform::ui::BasicAnimation::withKeyPath("opacity");
    fade.fromValue = 0.0;
    fade.toValue = 1.0;
    fade.duration = kAnimationDuration;
    fade.removedOnCompletion = false;
    fade.fillMode = platform::ui::FillMode::Forwards;
    loading->addAnimation(fade, "opacity");
}

void PFDefaultViewController::rotateLoadingView() {
    auto loading = loadingView();
    if (!loading) return;
    std::shared_ptr<platform::ui::View> container;
    if (loading->viewController) {
        container = loading->viewController->view();
    } else if (auto pf = Puffin::sharedPuffin()) {
        container = pf->window();
    }
    if (!loading->viewController && PFUsesPreIOS8Layout()) {
        auto pf = Puffin::sharedPuffin();
        loading->setTransform(platform::render::Transform3D::makeRotation(
            orientationToAngle(pf ? pf->orientation() : 1), 0, 0, 1));
    }
    if (container) loading->setFrame(container->bounds());
}

void PFDefaultViewController::dismissLoadingView() {
    std::shared_ptr<PFLoadingView> loading;
    {
        // The lock guards the field only: nothing waits for the main thread while holding it.
        std::lock_guard lock(mutex_);
        loading = std::move(loadingView_);
    }
    if (!loading) return;
    auto remove = [loading] { loading->removeFromSuperview(); };
    if (platform::Queue::main()->isCurrent())
        remove();
    else
        platform::Queue::main()->sync(remove);
    if (auto pf = Puffin::sharedPuffin()) pf->didDismissView();
}
