#include "ads/pipeline/core/HRNSDKCoreWebView.h"

#include <algorithm>

#include "ads/foundation/HRNAdServer.h"
#include "ads/foundation/HRNCSI.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/pipeline/core/HRNSDKCoreHMSGHandler.h"
#include "ads/pipeline/messages/HRNAdViewDelegate.h"
#include "platform/dispatch/Queue.h"
#include "platform/net/URLLoader.h"

namespace {

constexpr const char* kCorePagePath = "/hads/static/sdk/native/sdk-core-v40.html";

std::shared_ptr<HRNCSITimeRecorder> loadAdRecorder() {
    return HRNCSI::sharedInstance()->timeRecorderForAction("load_ad_ios");
}

}  // namespace

std::string HRNSDKCoreWebView::corePageURLString() {
    return HRNAdServerURLString(kCorePagePath);
}

std::shared_ptr<HRNSDKCoreWebView> HRNSDKCoreWebView::create() {
    auto page = std::shared_ptr<HRNSDKCoreWebView>(new HRNSDKCoreWebView());
    page->viewabilityHMSGHandler_->setDelegate(page);
    page->SDKCoreHMSGHandler_->setSDKCoreWebView(page);
    return page;
}

HRNSDKCoreWebView::HRNSDKCoreWebView()
    : SDKCoreHMSGHandler_(std::make_shared<HRNSDKCoreHMSGHandler>()),
      viewabilityHMSGHandler_(std::make_shared<HRNViewabilityHMSGHandler>()),
      adViewDelegate_(std::make_shared<HRNAdViewDelegate>()) {}

HRNSDKCoreWebView::~HRNSDKCoreWebView() {
    // The ad view belongs to the main thread: let it go there.
    if (adView_) {
        HRNDispatchToMainThread([adView = std::move(adView_)] {
            adView->setDelegate({});
            adView->stopLoading();
            adView->removeFromSuperview();
        });
    }
}

std::shared_ptr<platform::web::WebView> HRNSDKCoreWebView::webView() const {
    return adView_ ? adView_->webView() : nullptr;
}

void HRNSDKCoreWebView::refreshSDKCoreAndNotifyObserver(
    const std::shared_ptr<HRNSDKCoreWebViewNotification>& observer) {
    std::weak_ptr<HRNSDKCoreWebView> weakSelf = weak_from_this();
    platform::Queue::main()->async([weakSelf, observer] {
        auto self = weakSelf.lock();
        if (!self) return;
        bool load = false;
        {
            std::lock_guard lock(self->mutex_);
            if (self->state_ != 1 && self->state_ != 2) {
                self->state_ = 1;
                load = true;
            }
        }
        if (load) {
            if (auto recorder = loadAdRecorder()) recorder->startTimingVariableWithName("jsf_ios");
            if (!self->adView_) {
                self->adView_ = HRNAdView::create();
                self->adView_->setHidden(true);
                self->adView_->setDelegate(self);
            }
            self->adView_->loadRequest(
                platform::net::URLRequest(*platform::net::URL::parse(corePageURLString())));
        }
        self->addObserverForOneTimeNotification(observer);
    });
}

void HRNSDKCoreWebView::addObserverForOneTimeNotification(
    const std::shared_ptr<HRNSDKCoreWebViewNotification>& observer) {
    if (!observer) return;
    bool finished = false;
    {
        std::lock_guard lock(mutex_);
        if (std::find(SDKCoreObservers_.begin(), SDKCoreObservers_.end(), observer) ==
            SDKCoreObservers_.end())
            SDKCoreObservers_.push_back(observer);
        finished = state_ == 3 || state_ == 4;
    }
    if (finished) notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

void HRNSDKCoreWebView::removeObserver(
    const std::shared_ptr<HRNSDKCoreWebViewNotification>& observer) {
    std::lock_guard lock(mutex_);
    std::erase(SDKCoreObservers_, observer);
}

void HRNSDKCoreWebView::notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished() {
    std::vector<std::shared_ptr<HRNSDKCoreWebViewNotification>> observers;
    {
        std::lock_guard lock(mutex_);
        if (state_ == 1 || state_ == 2) return;
        observers.swap(SDKCoreObservers_);
    }
    auto self = shared_from_this();
    for (auto& observer : observers) {
        platform::Queue::main()->async(
            [observer, self] { observer->didFinishLoadingSDKCoreInSDKCoreWebView(self); });
    }
}

void HRNSDKCoreWebView::enqueueJavaScriptCommand(const std::string& command,
                                                 std::function<void()> dropped) {
    std::function<void()> evicted;
    {
        std::lock_guard lock(mutex_);
        if (state_ == 4) {
            evicted = std::move(dropped);
        } else {
            if (pendingJavaScriptCommands_.size() >= kMaximumPendingCommands) {
                evicted = std::move(pendingJavaScriptCommands_.front().dropped);
                pendingJavaScriptCommands_.pop_front();
            }
            pendingJavaScriptCommands_.push_back(Command{command, std::move(dropped)});
        }
    }
    if (evicted) evicted();
    dispatchPendingJavaScriptCommands();
}

void HRNSDKCoreWebView::dispatchPendingJavaScriptCommands() {
    std::deque<Command> commands;
    {
        std::lock_guard lock(mutex_);
        if (state_ != 3) return;
        commands.swap(pendingJavaScriptCommands_);
    }
    std::weak_ptr<HRNSDKCoreWebView> weakSelf = weak_from_this();
    for (Command& command : commands) {
        platform::Queue::main()->async([weakSelf, script = std::move(command.script)] {
            auto self = weakSelf.lock();
            if (self && self->adView_)
                self->adView_->executeJavaScriptAsynchronouslyFromString(script);
        });
    }
}

void HRNSDKCoreWebView::postJSNotification(const std::string& name,
                                           const std::optional<platform::Dictionary>& userInfo) {
    std::weak_ptr<HRNSDKCoreWebView> weakSelf = weak_from_this();
    HRNDispatchToMainThread([weakSelf, name, userInfo] {
        auto self = weakSelf.lock();
        if (self && self->adView_) self->adView_->postJSNotification(name, userInfo);
    });
}

int64_t HRNSDKCoreWebView::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool HRNSDKCoreWebView::hasSDKCoreLoadedAtLeastOnce() const {
    std::lock_guard lock(mutex_);
    return hasSDKCoreLoadedAtLeastOnce_;
}

size_t HRNSDKCoreWebView::pendingJavaScriptCommandCount() const {
    std::lock_guard lock(mutex_);
    return pendingJavaScriptCommands_.size();
}

void HRNSDKCoreWebView::setViewabilityObserverForViewabilityID(
    const std::shared_ptr<HRNAdViewViewabilityMonitoring>& observer,
    uint64_t viewabilityID) {
    if (!observer) return;
    std::lock_guard lock(mutex_);
    if (viewabilityObservers_.count(viewabilityID)) return;
    viewabilityObservers_[viewabilityID] = observer;
    runningViewabilityObserverIdentifiers_.insert(viewabilityID);
}

void HRNSDKCoreWebView::removeViewabilityObserverForViewabilityID(uint64_t viewabilityID) {
    std::lock_guard lock(mutex_);
    viewabilityObservers_.erase(viewabilityID);
}

bool HRNSDKCoreWebView::isViewabilityRunning() const {
    std::lock_guard lock(mutex_);
    return !runningViewabilityObserverIdentifiers_.empty();
}

void HRNSDKCoreWebView::clearAllViewabilityInstances() {
    std::map<uint64_t, std::weak_ptr<HRNAdViewViewabilityMonitoring>> observers;
    {
        std::lock_guard lock(mutex_);
        runningViewabilityObserverIdentifiers_.clear();
        observers.swap(viewabilityObservers_);
    }
    for (auto& [id, weakObserver] : observers) {
        if (auto observer = weakObserver.lock()) observer->viewabilityMonitoringDidStop();
    }
}

void HRNSDKCoreWebView::viewabilityHMSGHandlerDidReceiveVisibilityNotificationForViewabilityID(
    HRNViewabilityHMSGHandler& /*handler*/,
    bool visible,
    int64_t viewabilityID) {
    std::weak_ptr<HRNAdViewViewabilityMonitoring> observer;
    {
        std::lock_guard lock(mutex_);
        auto it = viewabilityObservers_.find(static_cast<uint64_t>(viewabilityID));
        if (it == viewabilityObservers_.end()) return;
        observer = it->second;
    }
    platform::Queue::main()->async([observer, visible] {
        if (auto strong = observer.lock()) strong->viewabilityVisibilityChanged(visible);
    });
}

void HRNSDKCoreWebView::viewabilityHMSGHandlerDidReceiveUntrackNotificationForViewabilityID(
    HRNViewabilityHMSGHandler& /*handler*/,
    int64_t viewabilityID) {
    std::weak_ptr<HRNAdViewViewabilityMonitoring> observer;
    {
        std::lock_guard lock(mutex_);
        const auto id = static_cast<uint64_t>(viewabilityID);
        runningViewabilityObserverIdentifiers_.erase(id);
        auto it = viewabilityObservers_.find(id);
        if (it == viewabilityObservers_.end()) return;
        observer = it->second;
        viewabilityObservers_.erase(it);
    }
    platform::Queue::main()->async([observer] {
        if (auto strong = observer.lock()) strong->viewabilityMonitoringDidStop();
    });
}

bool HRNSDKCoreWebView::adViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<HRNAdView>& adView,
    const platform::net::URLRequest& request,
    platform::web::NavigationType type) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == 2) return false;
        if (request.url.absoluteString() == corePageURLString()) {
            state_ = 2;
            return true;
        }
        if (state_ != 3) return false;
    }
    if (!HRNNotification::isNotificationURL(request.url)) return false;
    // The handlers run outside the lock, since they call back into the page.
    if (SDKCoreHMSGHandler_->handleRequestAdView(request, adView)) return false;
    if (viewabilityHMSGHandler_->handleRequestAdView(request, adView)) return false;
    return adViewDelegate_->adViewShouldStartLoadWithRequestNavigationType(adView, request, type);
}

void HRNSDKCoreWebView::adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) {
    // A page the server answered with an error status is not the core page: it failed.
    auto response = adView ? adView->webView()->response() : std::nullopt;
    const bool errorStatus = response && response->isHTTP() && response->statusCode() >= 400;
    bool loaded = false;
    bool failed = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ == 2) {
            if (errorStatus) {
                state_ = 4;
                failed = true;
            } else {
                state_ = 3;
                hasSDKCoreLoadedAtLeastOnce_ = true;
                loaded = true;
            }
        }
    }
    if (auto recorder = loadAdRecorder()) {
        if (loaded) recorder->endTimingVariableWithName("jsf_ios");
        if (failed) recorder->cancelTimingVariableWithName("jsf_ios");
    }
    adViewDelegate_->adViewDidFinishLoad(adView);
    dispatchPendingJavaScriptCommands();
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

void HRNSDKCoreWebView::adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>& adView,
                                                   const platform::Error& error) {
    auto failing = error.userInfo.find(platform::net::kFailingURLStringKey);
    if (failing != error.userInfo.end() && failing->second.string() &&
        *failing->second.string() == corePageURLString()) {
        if (auto recorder = loadAdRecorder()) recorder->cancelTimingVariableWithName("jsf_ios");
        std::lock_guard lock(mutex_);
        state_ = 4;
    }
    adViewDelegate_->adViewDidFailLoadWithError(adView, error);
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}
