#include "ads/foundation/HRNViewabilityMonitor.h"

#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNRectAdditions.h"
#include "ads/foundation/HRNScheduler.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "ads/rendering/views/HRNMobileAdsAdditions.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace {

bool applicationIsActive() {
    return platform::ui::Application::shared().state() == platform::ui::ApplicationState::Active;
}

}  // namespace

std::shared_ptr<HRNViewabilityMonitor> HRNViewabilityMonitor::create(
    const std::shared_ptr<platform::ui::View>& view,
    std::optional<std::string> adFormat,
    std::optional<platform::Dictionary> viewabilityConfiguration) {
    if (!view) return nullptr;
    return std::shared_ptr<HRNViewabilityMonitor>(
        new HRNViewabilityMonitor(view, std::move(adFormat), std::move(viewabilityConfiguration)));
}

HRNViewabilityMonitor::HRNViewabilityMonitor(
    const std::shared_ptr<platform::ui::View>& view,
    std::optional<std::string> adFormat,
    std::optional<platform::Dictionary> viewabilityConfiguration)
    : monitoredView_(view),
      adFormat_(std::move(adFormat)),
      viewabilityConfiguration_(std::move(viewabilityConfiguration)) {}

HRNViewabilityMonitor::~HRNViewabilityMonitor() {
    stopMonitoring();
}

void HRNViewabilityMonitor::startMonitoring() {
    std::shared_ptr<HRNScheduler> scheduler;
    {
        std::lock_guard lock(mutex_);
        if (updateViewBoundsScheduler_) return;
        updateViewBoundsScheduler_ = HRNScheduler::createWithInterval(
            HRNSDKCoreController::sharedInstance()->viewabilitySamplingInterval());
        scheduler = updateViewBoundsScheduler_;
    }
    std::weak_ptr<HRNViewabilityMonitor> weakSelf = weak_from_this();
    HRNDispatchToMainThread([scheduler, weakSelf] {
        scheduler->taskIDScheduledOnQueueBlock(platform::Queue::main(), [weakSelf] {
            if (auto self = weakSelf.lock()) self->updateViewBounds();
        });
        scheduler->start();
    });
}

void HRNViewabilityMonitor::stopMonitoring() {
    std::shared_ptr<HRNScheduler> scheduler;
    {
        std::lock_guard lock(mutex_);
        scheduler = std::move(updateViewBoundsScheduler_);
        updateViewBoundsScheduler_.reset();
    }
    if (scheduler) HRNDispatchToMainThread([scheduler] { scheduler->stop(); });
}

bool HRNViewabilityMonitor::isMonitoring() const {
    std::lock_guard lock(mutex_);
    return updateViewBoundsScheduler_ != nullptr;
}

void HRNViewabilityMonitor::sample() {
    std::weak_ptr<HRNViewabilityMonitor> weakSelf = weak_from_this();
    HRNDispatchToMainThread([weakSelf] {
        if (auto self = weakSelf.lock()) self->updateViewBounds();
    });
}

void HRNViewabilityMonitor::updateViewBounds() {
    platform::ui::assertMainThread("HRNViewabilityMonitor::updateViewBounds");
    auto view = monitoredView();
    const platform::ui::Rect visible = view ? hrn_visibleBounds(*view) : platform::ui::Rect();
    {
        std::lock_guard lock(mutex_);
        monitoredViewVisibleBounds_ = visible;
        monitoredViewVisible_ = !(visible == platform::ui::Rect());
    }
    if (!view) stopMonitoring();
    if (auto delegate = this->delegate()) delegate->viewabilityMonitorDidRefresh(*this);
}

platform::Dictionary HRNViewabilityMonitor::viewabilityStateWithUnloadedFlag(bool unloaded) {
    platform::ui::assertMainThread("HRNViewabilityMonitor::viewabilityStateWithUnloadedFlag");
    using platform::ui::Rect;
    auto view = monitoredView();
    auto window = view ? view->window() : nullptr;
    const Rect adBox = view ? view->convertRectToView(view->bounds(), nullptr) : Rect();
    const bool onVisibleWindow = window && !window->isHidden() && applicationIsActive();
    auto delegate = this->delegate();

    platform::Dictionary unit{
        {"adBox", HRNViewabilityBoxFromRect(adBox)},
        {"globalVisibleBox", HRNViewabilityBoxFromRect(monitoredViewVisibleBounds())},
        {"viewBox", HRNViewabilityBoxFromRect(window ? window->bounds() : Rect())},
        {"screenDimension",
         HRNViewabilityBoxFromRect(platform::ui::Screen::main().applicationFrame())},
        {"screenOrientation", platform::device::statusBarOrientation()},
        {"isSubViewOfVisibleWindow", onVisibleWindow ? "1" : "0"},
        {"isVisible", monitoredViewVisible() ? "1" : "0"},
        {"ad_type_mraid",
         delegate && delegate->isMRAIDEnabledForViewabilityMonitor(*this).value_or(false) ? "1"
                                                                                          : "0"},
        {"hsdkVersion", HRNRequest::sdkVersion()},
        {"timestamp", static_cast<int64_t>(HRNAbsoluteTime::absoluteTimeInMilliseconds())},
        {"hashCode",
         static_cast<int64_t>(
             delegate ? delegate->identifierForViewabilityMonitor(*this).value_or(0) : 0)},
    };
    if (adFormat_) unit["adFormat"] = *adFormat_;
    if (viewabilityConfiguration_) unit["viewabilityJSON"] = *viewabilityConfiguration_;
    if (unloaded) unit["doneReasonCode"] = "u";
    return {{"units", platform::Array{unit}}};
}

std::shared_ptr<HRNViewabilityMonitorDelegate> HRNViewabilityMonitor::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_;
}

void HRNViewabilityMonitor::setDelegate(std::shared_ptr<HRNViewabilityMonitorDelegate> delegate) {
    std::shared_ptr<HRNViewabilityMonitorDelegate> previous;
    std::lock_guard lock(mutex_);
    previous = std::move(delegate_);  // let go after the lock
    delegate_ = std::move(delegate);
}

platform::ui::Rect HRNViewabilityMonitor::monitoredViewVisibleBounds() const {
    std::lock_guard lock(mutex_);
    return monitoredViewVisibleBounds_;
}

void HRNViewabilityMonitor::setMonitoredViewVisibleBounds(const platform::ui::Rect& bounds) {
    std::lock_guard lock(mutex_);
    monitoredViewVisibleBounds_ = bounds;
}

bool HRNViewabilityMonitor::monitoredViewVisible() const {
    if (!HRNApplication::sharedInstance()->active()) return false;
    std::lock_guard lock(mutex_);
    return monitoredViewVisible_;
}

std::optional<std::string> HRNViewabilityJSCommandWithParams(
    const std::optional<platform::Dictionary>& parameters) {
    if (!parameters) return std::nullopt;
    auto json = hrn_JSONStringForScript(*parameters);
    if (!json) return std::nullopt;
    return "HSDK_updateViewability(" + *json + ")";
}
