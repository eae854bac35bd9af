#include "ads/rendering/presentation/HRNModalOverlayPresenter.h"

#include <cmath>

#include "ads/foundation/HRNDevice.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "ads/rendering/views/HRNOrientation.h"
#include "platform/device/DeviceFacts.h"
#include "platform/ui/Application.h"

HRNModalOverlayPresenter::~HRNModalOverlayPresenter() {
    stopObservingForeground();
}

void HRNModalOverlayPresenter::stopObservingForeground() {
    if (!appForegroundObserver_) return;
    platform::NotificationCenter::defaultCenter().removeObserver(appForegroundObserver_);
    appForegroundObserver_ = 0;
}

void HRNModalOverlayPresenter::hideStatusBar() {
    auto controller = presented_.lock();
    if (!controller) return;
    if (auto intermission = controller->intermission())
        intermission->participantWillOverrideStatusBarVisibility(controller.get());
    platform::ui::Application::shared().setStatusBarHidden(true);
}

void HRNModalOverlayPresenter::presentFromViewController(
    const std::shared_ptr<platform::ui::ViewController>& controller,
    std::function<void()> completion) {
    hideStatusBar();
    stopObservingForeground();
    std::weak_ptr<HRNModalOverlayPresenter> weakSelf = weak_from_this();
    appForegroundObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::ui::kApplicationWillEnterForegroundNotification, nullptr,
        [weakSelf](const platform::Notification&) {
            if (auto self = weakSelf.lock()) self->hideStatusBar();
        });
    if (controller)
        controller->presentViewController(presented_.lock(), true, std::move(completion));
}

void HRNModalOverlayPresenter::dismissWithCompletionHandler(std::function<void()> handler) {
    stopObservingForeground();
    auto controller = presented_.lock();
    auto presenting = controller ? controller->presentingViewController() : nullptr;
    if (presenting && presenting->presentedViewController() == controller) {
        presenting->dismissViewController(true, std::move(handler));
        return;
    }
    if (handler) handler();
}

void HRNModalOverlayPresenter::setNeedsUpdateOrientation() {
    auto controller = std::dynamic_pointer_cast<HRNAdAppViewController>(presented_.lock());
    if (!controller || !controller->presentingViewController() || !controller->adOrientations())
        return;
    if (HRNViewControllerOnlySupportsApplicationOrientation())
        updateViewControllerOrientation(*controller);
    else
        forceUpdateViewControllerOrientation(*controller);
}

void HRNModalOverlayPresenter::updateViewControllerOrientation(HRNAdAppViewController& controller) {
    // The window turns its content itself: the controller takes the ad's mask, and the page
    // hears the orientation the screen is in.
    controller.setSupportedInterfaceOrientations(controller.adOrientations());
    const int64_t s = platform::device::statusBarOrientation();
    if (HRNOrientationMaskContainsOrientation(controller.adOrientations(), s)) return;
    controller.viewChangedToOrientation(s);
}

void HRNModalOverlayPresenter::forceUpdateViewControllerOrientation(
    HRNAdAppViewController& controller) {
    const uint64_t m = controller.adOrientations();
    if (!m) return;
    const int64_t s = platform::device::statusBarOrientation();
    const uint64_t sm = HRNInterfaceOrientationMaskFromOrientation(s);
    uint64_t target;
    if (HRNOrientationMaskSupportsBothAxes(m)) {
        controller.setSupportedInterfaceOrientations(30);
        target = 30;
    } else {
        controller.setSupportedInterfaceOrientations(sm);
        target = (m & 24) ? 24 : 6;
    }
    auto device = HRNDevice::sharedInstance();
    platform::ui::Rect frame;
    int64_t forced = 0;
    int quarterTurns = 0;
    if (target & sm) {
        frame = device->standardizedOrientedScreenBounds();
    } else if (sm == 2 || sm == 4) {
        frame = device->standardizedLandscapeScreenBounds();
        forced = 3;
        quarterTurns = 1;
    } else if (s == 4) {
        frame = device->standardizedPortraitScreenBounds();
        forced = 1;
        quarterTurns = 1;
    } else if (s == 3) {
        frame = device->standardizedPortraitScreenBounds();
        forced = 1;
        quarterTurns = 3;
    } else {
        return;
    }
    controller.setForcedAdOrientation(forced);
    auto view = controller.view();
    // Transforms turn a view about its centre, so the frame alone places it.
    view->setTransform(platform::render::Transform3D::identity());
    view->setFrame(frame);
    if (quarterTurns)
        view->setTransform(
            platform::render::Transform3D::makeRotation(quarterTurns * M_PI / 2, 0, 0, 1));
    view->setNeedsLayout();
    controller.viewChangedToOrientation(forced);
}
