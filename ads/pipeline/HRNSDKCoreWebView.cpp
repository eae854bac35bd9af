#include "ads/pipeline/HRNSDKCoreWebView.h"

#include <cstdlib>

#include "ads/foundation/HRNDispatch.h"
#include "platform/dispatch/Queue.h"
#include "platform/net/URLLoader.h"

namespace {

constexpr const char* kDefaultAdServerURL = "http://127.0.0.1:51720";
constexpr const char* kCorePagePath = "/hads/static/sdk/native/sdk-core-v40.html";

}  // namespace

std::string HRNSDKCoreWebView::corePageURLString() {
    std::string base = kDefaultAdServerURL;
    if (const char* configured = std::getenv("QEN_AD_SERVER_URL"); configured && *configured)
        base = configured;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + kCorePagePath;
}

std::shared_ptr<HRNSDKCoreWebView> HRNSDKCoreWebView::create() {
    auto page = std::shared_ptr<HRNSDKCoreWebView>(new HRNSDKCoreWebView());
    page->viewabilityHMSGHandler_->setDelegate(page);
    return page;
}

HRNSDKCoreWebView::HRNSDKCoreWebView()
    : viewabilityHMSGHandler_(std::make_shared<HRNViewabilityHMSGHandler>()) {}

HRNSDKCoreWebView::~HRNSDKCoreWebView() {
    // The web view belongs to the main thread: let it go there.
    if (webView_) {
        HRNDispatchToMainThread([webView = std::move(webView_)] {
            webView->setDelegate({});
            webView->stopLoading();
            webView->removeFromSuperview();
        });
    }
}

void HRNSDKCoreWebView::refreshSDKCore() {
    std::weak_ptr<HRNSDKCoreWebView> weakSelf = weak_from_this();
    platform::Queue::main()->async([weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        {
            std::lock_guard lock(self->mutex_);
            if (self->state_ == 1 || self->state_ == 2) return;
            self->state_ = 1;
        }
        if (!self->webView_) {
            self->webView_ = std::make_shared<platform::web::WebView>(platform::ui::Rect());
            self->webView_->setHidden(true);
            self->webView_->setDelegate(self);
        }
        auto url = platform::net::URL::parse(corePageURLString());
        if (!url) {
            std::lock_guard lock(self->mutex_);
            self->state_ = 4;
            self->pendingJavaScriptCommands_.clear();
            return;
        }
        self->webView_->loadRequest(platform::net::URLRequest(*url));
    });
}

void HRNSDKCoreWebView::enqueueJavaScriptCommand(const std::string& command) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == 4) return;
        if (pendingJavaScriptCommands_.size() >= kMaximumPendingCommands)
            pendingJavaScriptCommands_.pop_front();
        pendingJavaScriptCommands_.push_back(command);
    }
    dispatchPendingJavaScriptCommands();
}

void HRNSDKCoreWebView::dispatchPendingJavaScriptCommands() {
    std::deque<std::string> commands;
    {
        std::lock_guard lock(mutex_);
        if (state_ != 3) return;
        commands.swap(pendingJavaScriptCommands_);
    }
    std::weak_ptr<HRNSDKCoreWebView> weakSelf = weak_from_this();
    for (std::string& command : commands) {
        platform::Queue::main()->async([weakSelf, command = std::move(command)] {
            auto self = weakSelf.lock();
            if (self && self->webView_) self->webView_->evaluateJavaScript(command, nullptr);
        });
    }
}

int64_t HRNSDKCoreWebView::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool HRNSDKCoreWebView::hasSDKCoreLoadedAtLeastOnce() const {
    std::lock_guard lock(mutex_);
    return hasSDKCoreLoadedAtLeastOnce_;
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

bool HRNSDKCoreWebView::shouldStartLoadWithRequest(platform::web::WebView& /*webView*/,
                                                   const platform::net::URLRequest& request,
                                                   platform::web::NavigationType /*type*/) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == 2) return false;
        auto corePage = platform::net::URL::parse(corePageURLString());
        if (corePage && request.url.absoluteString() == corePage->absoluteString()) {
            state_ = 2;
            return true;
        }
        if (state_ != 3) return false;
    }
    // A page message: the handlers run outside the lock, since they call back into it.
    if (HRNNotification::isNotificationURL(request.url))
        viewabilityHMSGHandler_->handleRequestAdView(request, nullptr);
    return false;
}

void HRNSDKCoreWebView::webViewDidFinishLoad(platform::web::WebView& /*webView*/) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == 2) {
            state_ = 3;
            hasSDKCoreLoadedAtLeastOnce_ = true;
        }
    }
    dispatchPendingJavaScriptCommands();
}

void HRNSDKCoreWebView::didFailLoadWithError(platform::web::WebView& /*webView*/,
                                             const platform::Error& error) {
    auto failing = error.userInfo.find(platform::net::kFailingURLStringKey);
    auto corePage = platform::net::URL::parse(corePageURLString());
    if (failing == error.userInfo.end() || !failing->second.isString() || !corePage ||
        failing->second.asString() != corePage->absoluteString())
        return;
    std::lock_guard lock(mutex_);
    state_ = 4;
    // A failed page runs none of the waiting commands, even after a later reload.
    pendingJavaScriptCommands_.clear();
}
