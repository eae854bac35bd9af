#include "ads/rendering/presentation/HRNTransparentOverlayPresenter.h"

#include <algorithm>
#include <cmath>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "platform/device/DeviceFacts.h"
#include "platform/render/Color.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

std::shared_ptr<platform::ui::View> HRNUnclickableView::hitTest(platform::ui::Point point) {
    auto hit = platform::ui::View::hitTest(point);
    return hit.get() == this ? nullptr : hit;
}

HRNTransparentOverlayPresenter::HRNTransparentOverlayPresenter() {
    const auto portrait = HRNDevice::sharedInstance()->standardizedPortraitScreenBounds();
    const double side = std::max(portrait.size.width, portrait.size.height);
    pivotView_ = std::make_shared<HRNUnclickableView>(platform::ui::Rect(0, 0, side, side));
    cropView_ = std::make_shared<HRNUnclickableView>(platform::ui::Rect());
}

HRNTransparentOverlayPresenter::~HRNTransparentOverlayPresenter() {
    stopObserving();
}

void HRNTransparentOverlayPresenter::stopObserving() {
    auto& center = platform::NotificationCenter::defaultCenter();
    if (orientationChangeListener_) center.removeObserver(orientationChangeListener_);
    orientationChangeListener_ = 0;
    if (placementDisappearanceObserver_) center.removeObserver(placementDisappearanceObserver_);
    placementDisappearanceObserver_ = 0;
}

namespace {
bool windowsTurnTheirContent() {
    return HRNDevice::sharedInstance()->isOSAtLeastMajorMinorPatch(8, 0, 0);
}
}  // namespace

platform::render::Transform3D HRNTransparentOverlayPresenter::transformForOrientation(
    int64_t orientation) {
    double angle = 0;
    if (!windowsTurnTheirContent()) {
        if (orientation == 2)
            angle = M_PI;
        else if (orientation == 3)
            angle = M_PI / 2;
        else if (orientation == 4)
            angle = -M_PI / 2;
    }
    if (angle == 0) return platform::render::Transform3D::identity();
    return platform::render::Transform3D::makeRotation(angle, 0, 0, 1);
}

platform::ui::Rect HRNTransparentOverlayPresenter::frameWithSizeCenteredInFrame(
    platform::ui::Size size,
    const platform::ui::Rect& frame) {
    const double dx = (frame.size.width - size.width) / 2;
    const double dy = (frame.size.height - size.height) / 2;
    return platform::ui::Rect(frame.origin.x + dx, frame.origin.y + dy, frame.size.width - 2 * dx,
                              frame.size.height - 2 * dy);
}

platform::ui::Rect HRNTransparentOverlayPresenter::pivotedApplicationFrameForOrientation(
    int64_t /*orientation*/) const {
    // Windows turn their content themselves here, so the frame follows the status bar's
    // current orientation whatever is asked.
    const auto size = HRNDevice::sharedInstance()->standardizedOrientedApplicationFrame().size;
    return frameWithSizeCenteredInFrame(size, pivotView_->bounds());
}

std::shared_ptr<platform::ui::ViewController>
HRNTransparentOverlayPresenter::presentationViewController() const {
    auto controller = presented_.lock();
    std::shared_ptr<platform::ui::Window> window;
    if (controller && controller->isViewLoaded()) window = controller->view()->window();
    if (!window) window = HRNApplication::sharedInstance()->mainWindow();
    auto top = window ? window->rootViewController() : nullptr;
    while (top && top->presentedViewController())
        top = top->presentedViewController();
    return top;
}

void HRNTransparentOverlayPresenter::presentFromViewController(
    const std::shared_ptr<platform::ui::ViewController>& controller,
    std::function<void()> completion) {
    std::shared_ptr<platform::ui::Window> window;
    if (controller && controller->isViewLoaded()) window = controller->view()->window();
    if (!window) window = HRNApplication::sharedInstance()->mainWindow();
    if (!window) return;
    window->addSubview(pivotView_);
    composeTransparentInterstitialViewsForPresentation();
    animateTransparentInterstitialPresentationWithCompletionHandler(std::move(completion));
}

void HRNTransparentOverlayPresenter::composeTransparentInterstitialViewsForPresentation() {
    auto controller = presented_.lock();
    if (!controller) return;
    auto view = controller->view();
    view->setBackgroundColor(platform::render::Color::clear());
    view->setOpaque(false);
    // The ad's page draws what the user sees; wherever it leaves the screen clear, the game
    // beneath takes the touch.
    view->setPassesTouchesWhereClear(true);
    pivotView_->setFrame(frameWithSizeCenteredInFrame(
        pivotView_->bounds().size, platform::ui::Screen::main().applicationFrame()));
    pivotView_->setOpaque(false);
    pivotView_->setBackgroundColor(platform::render::Color::clear());
    const int64_t orientation = platform::device::statusBarOrientation();
    cropView_->setFrame(pivotedApplicationFrameForOrientation(orientation));
    view->setFrame(cropView_->bounds());
    view->setAutoresizingMask(platform::ui::View::kAutoresizingFlexibleWidth |
                              platform::ui::View::kAutoresizingFlexibleHeight);
    pivotView_->addSubview(cropView_);
    cropView_->addSubview(view);
    pivotView_->setTransform(transformForOrientation(orientation));
    // No modal presentation tells the controller that it appears: the presenter does.
    controller->viewWillAppear(true);
    controller->viewChangedToOrientation(orientation);

    stopObserving();
    std::weak_ptr<HRNTransparentOverlayPresenter> weakSelf = weak_from_this();
    orientationChangeListener_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::device::kStatusBarOrientationDidChangeNotification, nullptr,
        [weakSelf](const platform::Notification&) {
            if (auto self = weakSelf.lock()) self->updateTransparentInterstitialOrientation();
        });
    auto slot = controller->slot();
    if (!slot) return;
    std::weak_ptr<HRNViewController> weakController = controller;
    placementDisappearanceObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        HRNSlot::kDidLeaveWindowNotification, slot.get(),
        [weakController](const platform::Notification&) {
            auto shown = weakController.lock();
            if (shown && shown->isViewLoaded() && shown->view()->window())
                shown->relinquishScreenWithCompletion(nullptr);
        });
}

void HRNTransparentOverlayPresenter::
    animateTransparentInterstitialPresentationWithCompletionHandler(
        std::function<void()> completion) {
    // The ad slides in from the bottom of the screen as the user holds it.
    const auto application = platform::ui::Screen::main().applicationFrame().size;
    double dx = 0;
    double dy = application.height;
    if (!windowsTurnTheirContent()) {
        switch (platform::device::statusBarOrientation()) {
            case 2:
                dy = -application.height;
                break;
            case 3:
                dx = -application.width;
                dy = 0;
                break;
            case 4:
                dx = application.width;
                dy = 0;
                break;
            default:
                break;
        }
    }
    auto pivot = pivotView_;
    auto frame = pivot->frame();
    frame.origin.x += dx;
    frame.origin.y += dy;
    pivot->setFrame(frame);
    std::weak_ptr<HRNViewController> weakController = presented_;
    platform::ui::View::animate(
        0.4,
        [pivot, dx, dy] {
            auto moved = pivot->frame();
            moved.origin.x -= dx;
            moved.origin.y -= dy;
            pivot->setFrame(moved);
        },
        [weakController, completion = std::move(completion)](bool) {
            if (auto controller = weakController.lock()) controller->viewDidAppear(true);
            if (completion) completion();
        });
}

void HRNTransparentOverlayPresenter::updateTransparentInterstitialOrientation() {
    const int64_t orientation = platform::device::statusBarOrientation();
    const auto cropFrame = pivotedApplicationFrameForOrientation(orientation);
    const auto centre = platform::ui::Screen::main().applicationFrame().center();
    const auto transform = transformForOrientation(orientation);
    auto pivot = pivotView_;
    auto crop = cropView_;
    std::weak_ptr<HRNViewController> weakController = presented_;
    platform::ui::View::animate(
        platform::device::kStatusBarOrientationAnimationDuration,
        [pivot, crop, cropFrame, centre, transform] {
            crop->setFrame(cropFrame);
            pivot->setCenter(centre);
            pivot->setTransform(transform);
        },
        [weakController, orientation](bool) {
            if (auto controller = weakController.lock())
                controller->viewChangedToOrientation(orientation);
        });
}

void HRNTransparentOverlayPresenter::dismissWithCompletionHandler(std::function<void()> handler) {
    stopObserving();
    auto controller = presented_.lock();
    auto view = controller && controller->isViewLoaded() ? controller->view() : nullptr;
    if (!view || !view->window()) {
        if (handler) handler();
        return;
    }
    controller->viewWillDisappear(true);
    auto pivot = pivotView_;
    std::weak_ptr<HRNViewController> weakController = controller;
    platform::ui::View::animate(
        0.2, [view] { view->setAlpha(0); },
        [pivot, view, weakController, handler = std::move(handler)](bool) {
            pivot->removeFromSuperview();
            view->removeFromSuperview();
            if (auto shown = weakController.lock()) shown->viewDidDisappear(true);
            if (handler) handler();
        });
}
