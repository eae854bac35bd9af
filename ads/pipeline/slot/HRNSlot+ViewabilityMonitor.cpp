// The slot's side of viewability: a monitor samples the ad view; each sample becomes a unit that
// the measurement script takes, in the ad's own page (when the page asked for it with
// "trackViewabilityUnit") or in an SDK-core page lent by the controller.

#include "ads/formats/HRNAd.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNIntermission.h"
#include "ads/rendering/views/HRNAdView.h"

void HRNSlot::viewabilityVisibilityChanged(bool visible) {
    if (!isMRAIDEnabled()) return;
    monitoredViewVisible_ = visible;
    // While the ad covers the application its page hears its visibility from the screens.
    if (intermission()) return;
    if (auto handler = ad_->MRAIDEventHandler()) handler->updateVisibility(visible);
}

bool HRNSlot::viewabilityMonitoringStarted() {
    if (viewabilityMonitor_) return false;
    sendViewabilityMessagesToAdView_ = true;
    startViewabilityReportingIfEnabled();
    return true;
}

void HRNSlot::viewabilityMonitoringDidStop() {
    sendViewabilityMessagesToAdView_ = false;
    finishViewabilityReporting();
}

bool HRNSlot::monitoredViewIsSubviewOfDeviceScreen() const {
    return viewabilityMonitoredView_ && viewabilityMonitoredView_->window() != nullptr;
}

bool HRNSlot::canEnableViewabilityMonitoring() const {
    if (isMediating() || !viewHasMadeImpression_) return false;
    if ((ad_ && ad_->viewabilityConfigurations()) || isMRAIDEnabled()) return true;
    return sendViewabilityMessagesToAdView_;
}

void HRNSlot::createViewabilityMonitor() {
    std::optional<platform::Dictionary> configuration;
    if (ad_ && ad_->viewabilityConfigurations() && ad_->viewabilityConfigurations()->dictionary())
        configuration = *ad_->viewabilityConfigurations()->dictionary();
    auto monitor =
        HRNViewabilityMonitor::create(viewabilityMonitoredView_, adFormat(), configuration);
    if (!monitor) return;
    viewabilityMonitor_ = monitor;
    auto self = shared_from_this();
    if (!sendViewabilityMessagesToAdView_) {
        viewabilityID_ = HRNApplication::sharedInstance()->nextViewabilityID();
        SDKCoreWebView_ =
            HRNSDKCoreController::sharedInstance()->SDKCoreWebViewForViewabilityProcessing();
        SDKCoreWebView_->setViewabilityObserverForViewabilityID(self, viewabilityID_);
    }
    monitor->setDelegate(self);
}

void HRNSlot::startViewabilityReportingIfEnabled() {
    if (!canEnableViewabilityMonitoring()) return;
    if (!viewabilityMonitor_) createViewabilityMonitor();
    if (!viewabilityMonitor_) return;
    viewabilityMonitor_->sample();
    if (monitoredViewIsSubviewOfDeviceScreen()) viewabilityMonitor_->startMonitoring();
}

std::optional<std::string> HRNSlot::viewabilityJSCommandWithParams(
    const std::optional<platform::Dictionary>& parameters) const {
    return HRNViewabilityJSCommandWithParams(parameters);
}

void HRNSlot::viewabilityMonitorDidRefresh(HRNViewabilityMonitor& monitor) {
    if (&monitor != viewabilityMonitor_.get()) return;
    auto command = viewabilityJSCommandWithParams(monitor.viewabilityStateWithUnloadedFlag(false));
    if (command) {
        if (sendViewabilityMessagesToAdView_) {
            if (adView_) adView_->executeJavaScriptAsynchronouslyFromString(*command);
        } else if (SDKCoreWebView_) {
            SDKCoreWebView_->enqueueJavaScriptCommand(*command);
        }
    }
    if (ad_)
        if (auto handler = ad_->MRAIDEventHandler())
            handler->updatePositionFromView(viewabilityMonitoredView_);
}

void HRNSlot::viewabilityMonitorWillUnload() {
    if (!viewabilityMonitor_) return;
    auto command =
        viewabilityJSCommandWithParams(viewabilityMonitor_->viewabilityStateWithUnloadedFlag(true));
    if (!command) return;
    if (sendViewabilityMessagesToAdView_) {
        if (adView_) adView_->executeJavaScriptAsynchronouslyFromString(*command);
    } else if (SDKCoreWebView_) {
        SDKCoreWebView_->enqueueJavaScriptCommand(*command);
    }
}

void HRNSlot::unloadViewabilityMonitor() {
    if (!viewabilityMonitor_) return;
    viewabilityMonitorWillUnload();
    auto monitor = std::move(viewabilityMonitor_);
    viewabilityMonitor_.reset();
    monitor->setDelegate(nullptr);
    monitor->stopMonitoring();
}

void HRNSlot::finishViewabilityReporting() {
    unloadViewabilityMonitor();
    if (!SDKCoreWebView_) return;
    SDKCoreWebView_->removeViewabilityObserverForViewabilityID(viewabilityID_);
    HRNSDKCoreController::sharedInstance()->finishedUsingSDKCoreWebViewForViewabilityProcessing(
        SDKCoreWebView_);
    SDKCoreWebView_.reset();
}

std::optional<bool> HRNSlot::isMRAIDEnabledForViewabilityMonitor(HRNViewabilityMonitor& monitor) {
    if (&monitor != viewabilityMonitor_.get()) return false;
    return isMRAIDEnabled();
}

std::optional<uint64_t> HRNSlot::identifierForViewabilityMonitor(HRNViewabilityMonitor& monitor) {
    if (&monitor != viewabilityMonitor_.get()) return uint64_t{0};
    return viewabilityID_;
}

std::string HRNSlot::adFormat() const {
    return adType_ && adType_->isInterstitial() ? "interstitial_mb" : "banner_mb";
}
