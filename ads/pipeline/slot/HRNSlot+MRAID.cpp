// The slot's MRAID reporting: an MRAID creative hears its screen and usable space, its
// position, the device's features, its visibility and the errors of the actions it asked for,
// as page events of the slot's ad view.

#include "ads/formats/HRNAd.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNOrientation.h"
#include "platform/ui/Window.h"

namespace {

platform::Dictionary positionDictionary(const platform::ui::Rect& rect) {
    return platform::Dictionary{{"width", platform::Value(rect.size.width)},
                                {"height", platform::Value(rect.size.height)},
                                {"x", platform::Value(rect.origin.x)},
                                {"y", platform::Value(rect.origin.y)}};
}

bool sameRect(const platform::ui::Rect& a, const platform::ui::Rect& b) {
    return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
           a.size.height == b.size.height;
}

}  // namespace

void HRNSlot::MRAIDAdDidLoad() {
    std::weak_ptr<HRNSlot> weak = weak_from_this();
    if (ad_) ad_->setMRAIDEventHandler(weak);
    if (loadingAd_) loadingAd_->setMRAIDEventHandler(weak);
    usableInterfaceFrame_ = creativeWebViewFrame_ = creativeAdFrame_ = platform::ui::Rect();
    startViewabilityReportingIfEnabled();
    notifyOrientationToMRAIDCreative();
    beginListeningToDeviceOrientationChangeEvent();
    notifyDeviceFeatures();
    SDKDidBecomeReady();
}

void HRNSlot::MRAIDAdDidUnload() {
    endListeningToDeviceOrientationChangeEvent();
}

void HRNSlot::SDKDidBecomeReady() {
    if (adView_)
        adView_->postJSNotification("onReadyEventReceived",
                                    platform::Dictionary{{"js", HRNRequest::sdkVersion()}});
}

std::optional<std::string> HRNSlot::forcedAdOrientation() const {
    auto controller =
        adView_ ? std::dynamic_pointer_cast<HRNAdAppViewController>(adView_->viewController())
                : nullptr;
    if (!controller) return std::nullopt;
    return HRNOrientationCodeFromInterfaceOrientation(controller->forcedAdOrientation());
}

void HRNSlot::notifyOrientationToMRAIDCreative() {
    if (!isMRAIDEnabled()) return;
    auto device = HRNDevice::sharedInstance();
    const auto screen = device->standardizedOrientedScreenBounds();
    const auto application = device->standardizedOrientedApplicationFrame();
    usableInterfaceFrame_ = application;
    platform::Dictionary payload{
        {"width", platform::Value(screen.size.width)},
        {"height", platform::Value(screen.size.height)},
        {"maxSizeWidth", platform::Value(application.size.width)},
        {"maxSizeHeight", platform::Value(application.size.height)},
        {"isOrientationLandscape",
         platform::Value(int64_t{device->orientationLandscape() ? 1 : 0})},
    };
    if (auto forced = forcedAdOrientation()) payload["forcedOrientation"] = *forced;
    if (adView_) adView_->postJSNotification("onScreenInfoChanged", payload);
}

void HRNSlot::notifyDeviceFeatures() {
    auto device = HRNDevice::sharedInstance();
    // No calendar store on this device asks first, so events may always be offered.
    platform::Dictionary features{{"sms", platform::Value(device->canText())},
                                  {"tel", platform::Value(device->canMakePhoneCalls())},
                                  {"calendar", platform::Value(true)},
                                  {"storePicture", platform::Value(true)},
                                  {"inlineVideo", platform::Value(true)}};
    if (adView_) adView_->postJSNotification("onDeviceFeaturesReceived", features);
}

void HRNSlot::updatePositionFromView(const std::shared_ptr<platform::ui::View>& view) {
    const auto application = HRNDevice::sharedInstance()->standardizedOrientedApplicationFrame();
    if (!sameRect(application, usableInterfaceFrame_)) notifyOrientationToMRAIDCreative();
    const double dx = -application.origin.x;
    const double dy = -application.origin.y;
    auto window = view ? view->window() : nullptr;
    if (window && adView_) {
        auto rect = view->convertRectToView(view->bounds(), window.get());
        rect.origin.x += dx;
        rect.origin.y += dy;
        if (!sameRect(rect, creativeWebViewFrame_)) {
            creativeWebViewFrame_ = rect;
            adView_->dispatchSDKEvent("onSizeChanged", positionDictionary(rect));
        }
    }
    auto delegate = slotDelegate();
    auto frame = delegate ? delegate->frame() : std::nullopt;
    if (frame && (frame->size.width != 0 || frame->size.height != 0) && adView_) {
        auto rect = *frame;
        rect.origin.x += dx;
        rect.origin.y += dy;
        if (!sameRect(rect, creativeAdFrame_)) {
            creativeAdFrame_ = rect;
            adView_->dispatchSDKEvent("onDefaultPositionReceived", positionDictionary(rect));
        }
    }
}

void HRNSlot::updateVisibility(bool visible) {
    if (adView_)
        adView_->dispatchSDKEvent("onAdVisibilityChanged",
                                  platform::Dictionary{{"visible", visible ? "1" : "0"}});
}

void HRNSlot::handleErrorAction(const std::string& message, const std::string& action) {
    if (adView_)
        adView_->dispatchSDKEvent("onError",
                                  platform::Dictionary{{"message", message}, {"action", action}});
}
