// The slot's events: responses routed by their kind, ad view and presentation events turned
// into delegate calls, the page's volume report, content-size, impression and orientation
// changes.

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNMobileAds.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/views/HRNAdView.h"
#include "platform/ui/Application.h"

namespace {

// The status-bar orientation's change, as the application would announce it (this system's
// screens do not rotate yet, so nothing posts it).
constexpr const char* kStatusBarOrientationDidChange =
    "ApplicationDidChangeStatusBarOrientationNotification";

}  // namespace

void HRNSlot::processAdResponse(const std::shared_ptr<HRNAd>& ad) {
    if (!ad) return;
    const int64_t type = ad->responseType();
    if ((type == kHRNAdResponseTypeHTML || type == kHRNAdResponseTypeCustomRendering) &&
        adLoadActionTimeRecorder_) {
        adLoadActionTimeRecorder_->endTimingVariableWithName("arf_ios");
        adLoadActionTimeRecorder_->endTimingVariableWithName("nwl_ios");
        adLoadActionTimeRecorder_->startTimingVariableWithName("awr_ios");
    }
    willProcessAd();
    switch (type) {
        case kHRNAdResponseTypeHTML:
        case kHRNAdResponseTypeNative:
            processStandardAdResponse(ad);
            break;
        case kHRNAdResponseTypeMediation:
            processMediationAdResponse(ad);
            break;
        case kHRNAdResponseTypeCustomRendering:
            processCustomRenderingAdResponse(ad);
            break;
        default:
            break;
    }
}

void HRNSlot::willProcessAd() {
    finishViewabilityReporting();
    unscheduleSwipeToViewControllerChecker();
    disableSwipeToViewController();
}

void HRNSlot::adFailedToReceiveContentWithError(const platform::Error& error) {
    if (auto delegate = adLoadDelegate())
        delegate->slotDidFailToLoadAdContentWithError(*this, error);
}

void HRNSlot::adFinishedLoadingContent() {
    if (ad_ && ad_->swipeToViewControllerConfigurations()) scheduleSwipeToViewControllerChecker();
    startImpressionMonitoring();
    if (auto delegate = adLoadDelegate()) delegate->slotFinishedLoadingAdContent(*this);
}

void HRNSlot::adWasClicked() {
    HRNApplication::sharedInstance()->incrementTotalAdClickCount();
    if (!ad_) return;
    const auto now = static_cast<int64_t>(HRNAbsoluteTime::absoluteTimeInMilliseconds());
    ad_->statistics()->setObjectForKeyShouldNotifyDelegate(platform::Value(now), "tclickcurr",
                                                           false);
    ad_->statistics()->incrementNumberForKeyShouldNotifyDelegate("pcc", true);
}

void HRNSlot::adWillPresentScreen() {
    if (auto delegate = adEventDelegate()) delegate->slotWillPresentScreen(*this);
}

void HRNSlot::adWillDismissScreen() {
    if (auto delegate = adEventDelegate()) delegate->slotWillDismissScreen(*this);
}

void HRNSlot::adDidDismissScreen() {
    if (auto delegate = adEventDelegate()) delegate->slotDidDismissScreen(*this);
}

void HRNSlot::adWillLeaveApplication() {
    HRNApplication::sharedInstance()->willLeaveApplicationDueToClickOnAd(ad_);
    if (auto delegate = adEventDelegate()) delegate->slotWillLeaveApplication(*this);
}

bool HRNSlot::shouldChangeAudioSessionCategoryTo(const std::string& category) {
    auto delegate = slotDelegate();
    if (!delegate) return true;
    return delegate->slotShouldChangeAudioSessionCategoryTo(*this, category).value_or(true);
}

void HRNSlot::postVolumeNotification() {
    std::weak_ptr<HRNSlot> weak = weak_from_this();
    HRNDispatchToMainThread([weak] {
        auto slot = weak.lock();
        if (!slot || !slot->adView_) return;
        auto device = HRNDevice::sharedInstance();
        device->updateDynamicParameters();
        auto mobileAds = HRNMobileAds::sharedInstance();
        platform::Array ports;
        if (auto names = device->audioRoutePortNames())
            for (const std::string& name : *names)
                ports.push_back(name);
        slot->adView_->postJSNotification(
            "volume",
            platform::Dictionary{
                {"app_volume", static_cast<double>(mobileAds->clampedApplicationVolume())},
                {"app_muted", mobileAds->applicationMuted() ? "1" : "0"},
                {"device_volume", static_cast<double>(device->audioVolume())},
                {"port_names", std::move(ports)}});
    });
}

void HRNSlot::updateContentSize(platform::ui::Size size) {
    const auto& ad = ad_ ? ad_ : loadingAd_;
    if (!ad || !ad->isFluid()) {
        size = ad_ && ad_->customAdSizeString()
                   ? HRNCGSizeFromSizeString(*ad_->customAdSizeString())
                   : platform::ui::Size();
    }
    if (auto delegate = slotDelegate()) delegate->slotContentSizeDidChange(*this, size);
}

void HRNSlot::impressionMonitorDidMonitorImpression(HRNImpressionMonitor&) {
    auto keep = shared_from_this();
    didMakeAdImpression();
    if (impressionMonitor_) impressionMonitor_->setDelegate({});
    impressionMonitor_.reset();
}

void HRNSlot::beginListeningToDeviceOrientationChangeEvent() {
    if (isListeningToDeviceOrientationChangeEvent_) return;
    isListeningToDeviceOrientationChangeEvent_ = true;
    didChangeDeviceOrientation();
    std::weak_ptr<HRNSlot> weak = weak_from_this();
    orientationObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        kStatusBarOrientationDidChange, nullptr, [weak](const platform::Notification&) {
            if (auto slot = weak.lock()) slot->didChangeDeviceOrientation();
        });
}

void HRNSlot::endListeningToDeviceOrientationChangeEvent() {
    if (!isListeningToDeviceOrientationChangeEvent_) return;
    isListeningToDeviceOrientationChangeEvent_ = false;
    platform::NotificationCenter::defaultCenter().removeObserver(orientationObserver_);
    orientationObserver_ = 0;
}

void HRNSlot::didChangeDeviceOrientation() {
    platform::NotificationCenter::defaultCenter().post(kCreativeOrientationChangedNotification,
                                                       this);
}
