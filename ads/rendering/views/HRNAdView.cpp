#include "ads/rendering/views/HRNAdView.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "ads/foundation/HRNAdURLStash.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNWiggleGestureRecognizer.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/messages/HRNAdViewTouchGestureRecognizer.h"
#include "ads/rendering/presentation/HRNDebugOptionsMenuSheet.h"
#include "ads/rendering/views/HRNAdViewViewabilityReporter.h"
#include "ads/rendering/views/HRNVideoController.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Window.h"

namespace {

using platform::ui::Rect;

// Whether the web view's User-Agent has been handed to the device facts (once per process).
std::atomic<bool> gUserAgentCaptured{false};

}  // namespace

// ---- The web-view cache ----

HRNWebViewCacheSet::~HRNWebViewCacheSet() {
    for (const auto& webView : clearingWebViews_) {
        webView->setDelegate({});
        webView->stopLoading();
    }
}

void HRNWebViewCacheSet::addWebView(const std::shared_ptr<platform::web::WebView>& webView) {
    if (!webView || maxCapacity() == 0) return;
    std::weak_ptr<HRNWebViewCacheSet> weak = weak_from_this();
    platform::Queue::main()->async([weak, webView] {
        if (auto self = weak.lock()) self->clearWebView(webView);
    });
}

std::shared_ptr<platform::web::WebView> HRNWebViewCacheSet::anyWebView() {
    return std::static_pointer_cast<platform::web::WebView>(anyObject());
}

void HRNWebViewCacheSet::clearWebView(const std::shared_ptr<platform::web::WebView>& webView) {
    if (clearingWebViews_.size() >= 3) return;
    webView->stopLoading();
    webView->removeFromSuperview();
    webView->setDelegate(weak_from_this());
    clearingWebViews_.push_back(webView);
    webView->loadRequest(platform::net::URLRequest(*platform::net::URL::parse("about:blank")));
}

std::shared_ptr<platform::web::WebView> HRNWebViewCacheSet::take(platform::web::WebView& webView) {
    auto found = std::find_if(clearingWebViews_.begin(), clearingWebViews_.end(),
                              [&webView](const auto& held) { return held.get() == &webView; });
    if (found == clearingWebViews_.end()) return nullptr;
    auto held = *found;
    clearingWebViews_.erase(found);
    held->setDelegate({});
    return held;
}

bool HRNWebViewCacheSet::shouldStartLoadWithRequest(platform::web::WebView&,
                                                    const platform::net::URLRequest& request,
                                                    platform::web::NavigationType) {
    return request.url.absoluteString() == "about:blank";
}

void HRNWebViewCacheSet::webViewDidFinishLoad(platform::web::WebView& webView) {
    auto held = take(webView);
    if (!held) return;
    // Only a page that came out empty is reused.
    if (held->stringByEvaluatingJavaScriptFromString("document.body.innerHTML").empty())
        addObject(held);
}

void HRNWebViewCacheSet::didFailLoadWithError(platform::web::WebView& webView,
                                              const platform::Error&) {
    take(webView);
}

// ---- The ad view ----

std::shared_ptr<HRNWebViewCacheSet> HRNAdView::webViewCache() {
    // Made once and never destroyed: ad views may still go away while the process ends.
    static const std::shared_ptr<HRNWebViewCacheSet>& cache =
        *new std::shared_ptr<HRNWebViewCacheSet>([] {
            int64_t capacity = 0;
            if (auto setting = HRNSettingNumberValue("web_view_cache_max_capacity")) {
                const auto value = static_cast<int64_t>(*setting);
                if (value >= 0 && value <= 9) capacity = value;
            }
            return std::make_shared<HRNWebViewCacheSet>(static_cast<uint64_t>(capacity));
        }());
    return cache;
}

std::shared_ptr<platform::web::WebView> HRNAdView::cachedWebView() {
    return webViewCache()->anyWebView();
}

void HRNAdView::cacheWebView(const std::shared_ptr<platform::web::WebView>& webView) {
    webViewCache()->addWebView(webView);
}

std::optional<std::string> HRNAdView::JSCommandForNotificationName(
    const std::string& name,
    const std::optional<platform::Dictionary>& userInfo) {
    if (!userInfo) return "HSDK_ReceiveMessage('" + name + "');";
    auto json = hrn_JSONStringForScript(*userInfo);
    if (!json) return std::nullopt;
    return "HSDK_ReceiveMessage('" + name + "', " + *json + ");";
}

std::shared_ptr<HRNAdView> HRNAdView::create(const Rect& frame) {
    auto view = std::shared_ptr<HRNAdView>(new HRNAdView(frame));
    view->setUp();
    return view;
}

HRNAdView::HRNAdView(const Rect& frame) : platform::ui::View(frame) {}

std::shared_ptr<HRNAdView> HRNAdView::self() {
    return std::static_pointer_cast<HRNAdView>(shared_from_this());
}

void HRNAdView::setUp() {
    auto empty = std::make_shared<platform::ui::ScrollView>();
    empty->setScrollsToTop(false);
    addSubview(empty);
    addGestureRecognizers();
    viewabilityReporter_ = std::make_shared<HRNAdViewViewabilityReporter>();
    showDebug_ = true;

    webView_ = cachedWebView();
    if (webView_) {
        webView_->setFrame(frame());
    } else {
        webView_ = std::make_shared<platform::web::WebView>(frame());
    }
    webView_->setDelegate(std::static_pointer_cast<platform::web::WebViewDelegate>(self()));
    webView_->scrollView()->setBounces(true);
    addSubview(webView_);

    eventQueue_ = platform::OperationQueue::create();
    eventQueue_->setSuspended(true);
    reset();
    if (HRNDevice::sharedInstance()->isOSAtLeastMajorMinorPatch(8, 0, 0))
        HRNApplication::sharedInstance()->placeholderWindow()->addSubview(self());

    std::weak_ptr<HRNAdView> weak = self();
    contentSizeObserver_ =
        webView_->scrollView()->addContentSizeObserver([weak](platform::ui::Size size) {
            auto view = weak.lock();
            if (!view) return;
            if (auto delegate = view->delegate()) delegate->adViewContentSizeDidChange(view, size);
        });
    videoController_ = std::make_shared<HRNVideoController>(weak);
}

HRNAdView::~HRNAdView() {
    webView_->setDelegate({});
    if (URL_) HRNAdURLStash::remove(URL_);
    webView_->scrollView()->removeContentSizeObserver(contentSizeObserver_);
    if (debugGestureRecognizer_) removeGestureRecognizer(debugGestureRecognizer_);
    cacheWebView(webView_);
}

void HRNAdView::addGestureRecognizers() {
    if (debugGestureRecognizer_ && touchGestureRecognizer_) return;
    std::weak_ptr<HRNAdView> weak = self();
    debugGestureRecognizer_ = std::make_shared<HRNWiggleGestureRecognizer>(0);
    debugGestureRecognizer_->addTarget([weak](platform::ui::GestureRecognizer&) {
        if (auto view = weak.lock()) view->handleGesture();
    });
    touchGestureRecognizer_ = std::make_shared<HRNAdViewTouchGestureRecognizer>();
    // The recognizer receiving a touch marks the ad view touched.
    touchGestureRecognizer_->setTouchReceiver([weak] {
        if (auto view = weak.lock()) view->setTouched(true);
    });
    addGestureRecognizer(debugGestureRecognizer_);
    addGestureRecognizer(touchGestureRecognizer_);
}

void HRNAdView::handleGesture() {
    if (!showDebug_) return;
    debugOptionsMenuSheet_ = std::make_shared<HRNDebugOptionsMenuSheet>();
    debugOptionsMenuSheet_->showWithAdDebugDialogStringRootViewController(adDebugDialogString_,
                                                                          viewController());
}

void HRNAdView::loadHTMLStringBaseURL(const std::string& html,
                                      const std::optional<platform::net::URL>& baseURL) {
    willLoadHTML();
    eventQueue_->cancelAllOperations();
    eventQueue_->setSuspended(true);
    setURLForView(baseURL, self());
    webView_->loadHTMLString(html, baseURL);
}

void HRNAdView::loadRequest(const platform::net::URLRequest& request) {
    eventQueue_->cancelAllOperations();
    eventQueue_->setSuspended(true);
    webView_->loadRequest(request);
}

void HRNAdView::willLoadHTML() {
    webView_->setBackgroundColor(platform::ui::Color::clear());
    setBackgroundColor(platform::ui::Color::clear());
    videoController_->setHasVideoContent(false);
}

void HRNAdView::setURLForView(const std::optional<platform::net::URL>& url,
                              const std::shared_ptr<platform::ui::View>& view) {
    if (URL_) HRNAdURLStash::remove(URL_);
    URL_ = url;
    if (URL_) HRNAdURLStash::addForView(URL_, view);
}

void HRNAdView::configureAsInterstitialAdView() {
    useAutoLayoutForResizingAdView_ = false;
    webView_->scrollView()->setBounces(false);
}

void HRNAdView::configureAsBannerAdView() {
    useAutoLayoutForResizingAdView_ = true;
    webView_->setFrame(Rect(platform::ui::Point(), bounds().size));
    webView_->scrollView()->setBounces(false);
    // Banners keep their media still until the user starts it when the setting says so; this
    // web view plays no media by itself.
    setHidden(true);
}

void HRNAdView::reset() {
    webView_->setClipsToBounds(true);
    setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
    setOpaque(false);
    setBackgroundColor(platform::ui::Color::clear());
    webView_->scrollView()->setScrollEnabled(true);
    webView_->scrollView()->setScrollsToTop(false);
}

void HRNAdView::setFrame(const Rect& frame) {
    platform::ui::View::setFrame(frame);
    if (!useAutoLayoutForResizingAdView_ && webView_) webView_->setFrame(frame);
}

void HRNAdView::layoutSubviews() {
    // A banner's web view fills the ad view, whatever its size becomes.
    if (useAutoLayoutForResizingAdView_ && webView_)
        webView_->setFrame(Rect(platform::ui::Point(), bounds().size));
}

void HRNAdView::dispatchSDKEvent(const std::string& name,
                                 const std::optional<platform::Dictionary>& parameters) {
    platform::Dictionary payload{{"version", HRNRequest::sdkVersion()},
                                 {"device", HRNDevice::sharedInstance()->deviceSubmodel()}};
    if (parameters)
        for (const auto& [key, value] : *parameters)
            payload.insert_or_assign(key, value);
    // While the page loads, the 21st waiting event and those after it are lost.
    if (eventQueue_->isSuspended() && eventQueue_->operations().size() >= kMaximumWaitingEvents)
        return;
    std::weak_ptr<HRNAdView> weak = self();
    eventQueue_->addOperationWithBlock([weak, name, payload] {
        // The view lives on the main thread: the event reaches it there, if it still exists.
        platform::Queue::main()->async([weak, name, payload] {
            if (auto view = weak.lock()) view->postJSNotification(name, payload);
        });
    });
}

void HRNAdView::postJSNotification(const std::string& name,
                                   const std::optional<platform::Dictionary>& userInfo) {
    auto command = JSCommandForNotificationName(name, userInfo);
    if (!command) return;
    // The main queue wakes the run loop, so an event posted from another thread is not left
    // waiting for unrelated input.
    std::weak_ptr<HRNAdView> weak = std::static_pointer_cast<HRNAdView>(weak_from_this().lock());
    platform::Queue::main()->async([weak, command = std::move(*command)] {
        if (auto view = weak.lock()) view->stringByEvaluatingJavaScriptFromString(command);
    });
}

std::string HRNAdView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    return webView_->stringByEvaluatingJavaScriptFromString(script);
}

void HRNAdView::executeJavaScriptAsynchronouslyFromString(const std::string& script) {
    stringByEvaluatingJavaScriptFromString("setTimeout(function(){" + script + "}, 1);");
}

void HRNAdView::setHTMLWindowOrientationShouldDispatchOrientationChangeEvent(int64_t orientation,
                                                                             bool dispatch) {
    if (orientation < 1 || orientation > 4 || orientation == orientation_) return;
    orientation_ = orientation;
    static const int64_t kAngles[] = {0, 0, 180, 90, -90};
    std::string script = "window.__defineGetter__('orientation',function(){return " +
                         std::to_string(kAngles[orientation]) + ";});";
    if (dispatch) {
        script +=
            "(function(){var event = document.createEvent('Events');event.initEvent("
            "'orientationchange', true, false);window.dispatchEvent(event);})();";
    }
    executeJavaScriptAsynchronouslyFromString(script);
}

void HRNAdView::forceRotateHTMLToOrientation(int64_t orientation) {
    setHTMLWindowOrientationShouldDispatchOrientationChangeEvent(orientation, true);
}

void HRNAdView::didRotateToOrientation(int64_t orientation) {
    setHTMLWindowOrientationShouldDispatchOrientationChangeEvent(orientation, false);
}

void HRNAdView::saveState() {
    if (savedState_) return;
    savedState_ = HRNAdViewState{superview(), delegate_, viewController_, frame()};
}

void HRNAdView::restoreState() {
    if (!savedState_) return;
    HRNAdViewState state = *savedState_;
    auto keep = self();
    removeFromSuperview();
    setFrame(state.frame);
    if (state.superview) state.superview->addSubview(keep);
    delegate_ = state.delegate;
    viewController_ = state.viewController;
    savedState_.reset();
}

void HRNAdView::didMoveToPlacement(const std::shared_ptr<platform::ui::View>& placement) {
    if (auto delegate = this->delegate()) delegate->adViewDidMoveToPlacement(self(), placement);
}

platform::ui::Size HRNAdView::contentSize() const {
    return webView_->scrollView()->contentSize();
}

void HRNAdView::goBack() {
    webView_->goBack();
}
void HRNAdView::goForward() {
    webView_->goForward();
}
void HRNAdView::stopLoading() {
    webView_->stopLoading();
}
void HRNAdView::reload() {
    webView_->reload();
}
bool HRNAdView::canGoBack() const {
    return webView_->canGoBack();
}
bool HRNAdView::canGoForward() const {
    return webView_->canGoForward();
}
bool HRNAdView::isLoading() const {
    return webView_->isLoading();
}
std::optional<platform::net::URLRequest> HRNAdView::request() const {
    return webView_->request();
}
const std::shared_ptr<platform::ui::ScrollView>& HRNAdView::scrollView() const {
    return webView_->scrollView();
}

bool HRNAdView::shouldStartLoadWithRequest(platform::web::WebView&,
                                           const platform::net::URLRequest& request,
                                           platform::web::NavigationType type) {
    // The first User-Agent a page sends is the one the device facts report.
    if (!gUserAgentCaptured) {
        if (auto agent = request.valueForHeader("User-Agent"); agent && !agent->empty()) {
            gUserAgentCaptured = true;
            HRNDevice::sharedInstance()->setUserAgentString(*agent);
        }
    }
    if (auto delegate = this->delegate())
        return delegate->adViewShouldStartLoadWithRequestNavigationType(self(), request, type);
    return true;
}

void HRNAdView::webViewDidStartLoad(platform::web::WebView&) {
    if (auto delegate = this->delegate()) delegate->adViewDidStartLoad(self());
}

void HRNAdView::webViewDidFinishLoad(platform::web::WebView&) {
    auto keep = self();
    eventQueue_->setSuspended(false);
    if (auto delegate = this->delegate()) delegate->adViewDidFinishLoad(keep);
    // A page that measured itself against a collapsed view lays out again.
    const platform::ui::Rect bounds = this->bounds();
    webView_->setFrame(Rect(0, 0, bounds.size.width, 1));
    webView_->setFrame(bounds);
}

void HRNAdView::didFailLoadWithError(platform::web::WebView&, const platform::Error& error) {
    if (error.code == platform::net::kURLErrorCancelled &&
        !HRNSettingBoolValue("use_cancelled_url_error"))
        return;
    if (auto delegate = this->delegate()) delegate->adViewDidFailLoadWithError(self(), error);
}
