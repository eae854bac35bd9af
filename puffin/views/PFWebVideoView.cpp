#include "puffin/views/PFWebVideoView.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/dispatch/Group.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/PFVideoPrefetcher.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFHTTPRequestManager.h"
#include "puffin/views/PFDefaultViewController.h"

using platform::Dictionary;
using platform::Value;

namespace {

constexpr const char* kPrefix = "pfsdk://eventhandler/eventtype/";
constexpr double kLoadingTimeout = 20;
constexpr double kVideoResumeDelay = 3;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string textAt(const Dictionary& dictionary, const char* key) {
    auto it = dictionary.find(key);
    return it != dictionary.end() && it->second.isString() ? *it->second.string() : std::string();
}

// A JavaScript string literal of `text`: JSON's quoting is JavaScript's.
std::string scriptString(const std::string& text) {
    auto quoted = platform::json::serialize(Value(text));
    std::string literal = quoted.value_or("\"\"");
    // U+2028 and U+2029 end lines in scripts of older engines: escape them too.
    for (const char* separator : {"\xE2\x80\xA8", "\xE2\x80\xA9"}) {
        const std::string escape = separator[2] == '\xA8' ? "\\u2028" : "\\u2029";
        for (size_t at = literal.find(separator); at != std::string::npos;
             at = literal.find(separator, at + escape.size()))
            literal.replace(at, 3, escape);
    }
    return literal;
}

bool webKitAvailable() {
    return PFDynamicallyLoadedDependencies::loadClassWithFramework("WKWebViewConfiguration",
                                                                   "WebKit") &&
           PFDynamicallyLoadedDependencies::loadClassWithFramework("WKWebView", "WebKit");
}

}  // namespace

// ---- making

std::shared_ptr<PFWebVideoView> PFWebVideoView::create(const platform::ui::Rect& frame) {
    auto view = std::make_shared<PFWebVideoView>(frame);
    auto page = std::make_shared<platform::web::WebView>(frame);
    page->setOpaque(false);
    page->setBackgroundColor(platform::render::Color::clear());
    page->setDelegate(std::static_pointer_cast<platform::web::WebViewDelegate>(view));
    if (webKitAvailable())
        view->webkit_ = page;
    else
        view->webview_ = page;
    view->addSubview(page);
    view->setFrame(frame);
    if (auto pf = Puffin::sharedPuffin()) view->orientation_ = pf->orientation();
    view->initialize();
    return view;
}

PFWebVideoView::PFWebVideoView(const platform::ui::Rect& frame) : View(frame) {}

PFWebVideoView::~PFWebVideoView() {
    for (auto token : observations_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    if (loadingTimer_) loadingTimer_->invalidate();
}

void PFWebVideoView::initialize() {
    state_ = 0;
    setUserInteractionEnabled(true);
    closing_ = videoFinished_ = videoPlaying_ = videoLoadSuccess_ = false;
    playCount_ = completedCount_ = 0;
    playTime_ = playableDuration_ = 0;
    templateId_.clear();
    adId_.clear();
    html_.clear();
    template_.reset();
    trackingEvents_.reset();
}

void PFWebVideoView::prefetchAssets(const Dictionary& response) {
    auto webview = response.find("webview");
    if (webview == response.end() || !webview->second.isDictionary()) return;
    const Dictionary& data = *webview->second.dictionary();
    PFVideoPrefetcher::shared()->createTemplateForAdAdIdData(textAt(data, "template"),
                                                             textAt(response, "ad_id"), data);
}

// ---- preparing

Dictionary PFWebVideoView::prepareWithResponse(const Dictionary& response) {
    Dictionary data;
    if (auto it = response.find("webview"); it != response.end() && it->second.isDictionary())
        data = *it->second.dictionary();
    templateId_ = textAt(data, "template");
    adId_ = textAt(response, "ad_id");
    template_ = PFVideoPrefetcher::shared()->createTemplateForAdAdIdData(templateId_, adId_, data);
    if (auto events = data.find("events"); events != data.end() && events->second.isDictionary())
        trackingEvents_ = *events->second.dictionary();
    group_ = std::make_shared<platform::Group>();
    callOnMain([](PFWebVideoView& self) {
        self.videoLoadSuccess_ = true;
        self.displayUI();
    });
    return Dictionary{{"rewardAmount", template_->rewardAmount},
                      {"rewardCurrency", template_->rewardCurrency}};
}

void PFWebVideoView::callOnMain(std::function<void(PFWebVideoView&)> work) {
    std::weak_ptr<PFWebVideoView> weak =
        std::static_pointer_cast<PFWebVideoView>(shared_from_this());
    platform::Queue::main()->async([weak, work = std::move(work)] {
        if (auto self = weak.lock()) work(*self);
    });
}

Dictionary PFWebVideoView::moreData() const {
    return Dictionary{{"metadata", template_ ? Value(template_->metaData) : Value(Dictionary{})}};
}

void PFWebVideoView::displayUI() {
    std::weak_ptr<PFWebVideoView> weak =
        std::static_pointer_cast<PFWebVideoView>(shared_from_this());
    group_->notify(platform::Queue::main(), [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->videoLoadSuccess_) {
            self->setNeedsLayout();
            self->layoutIfNeeded();
            self->callOnMain([](PFWebVideoView& view) {
                if (auto ready = view.readyToDisplayCallback()) ready(view.moreData());
            });
            return;
        }
        PFLogWarn("Webview: videoLoad failure");
        self->callOnMain([](PFWebVideoView& view) {
            if (auto fail = view.failCallback()) fail(PFLoadErrorInternal);
        });
    });
}

bool PFWebVideoView::canDisplay() {
    return template_ != nullptr && videoLoadSuccess_;
}

bool PFWebVideoView::shouldAdjustFrameForStatusBar() {
    auto pf = Puffin::sharedPuffin();
    return pf && pf->statusBarBehavior() == 2;
}

// ---- playback

void PFWebVideoView::startPlayback() {
    auto prefetcher = PFVideoPrefetcher::shared();
    if (template_ && prefetcher->isTemplateReady(template_->ID)) {
        templateReady();
        return;
    }
    observe(kPFDownloadCompleteNotification, &PFWebVideoView::checkTemplateComplete);
    PFDefaultViewController::shared()->displayLoadingViewInViewController(nullptr);
    if (!loadingTimer_) startLoadingViewTimer();
    checkTemplateComplete();
}

void PFWebVideoView::startLoadingViewTimer() {
    if (!PFDefaultViewController::shared()->loadingView()) return;
    std::weak_ptr<PFWebVideoView> weak =
        std::static_pointer_cast<PFWebVideoView>(shared_from_this());
    loadingTimer_ = platform::Timer::scheduled(kLoadingTimeout, false, [weak](platform::Timer&) {
        if (auto self = weak.lock()) self->loadingViewTimerFinished();
    });
}

void PFWebVideoView::loadingViewTimerFinished() {
    if (loadingTimer_) loadingTimer_->invalidate();
    loadingTimer_.reset();
    templateFailed("loading timeout", "Webview Warning: loading timeout.");
}

void PFWebVideoView::checkTemplateComplete() {
    if (closing_ || !template_) return;
    auto prefetcher = PFVideoPrefetcher::shared();
    if (prefetcher->isTemplateReady(template_->ID)) {
        PFDefaultViewController::shared()->dismissLoadingView();
        templateReady();
        return;
    }
    if (prefetcher->isTemplateFailed(template_->ID)) {
        // One outcome: the failure, without a close of its own.
        PFLogWarn("Webview Warning: element failed to load.");
        track("error", "template", "element failed to load", std::nullopt);
        closing_ = true;
        state_ = 4;
        setUserInteractionEnabled(false);
        stopPlayback();
        PFDefaultViewController::shared()->dismissLoadingView();
        removeObservers();
        if (loadingTimer_) loadingTimer_->invalidate();
        callOnMain([](PFWebVideoView& view) {
            if (auto fail = view.failCallback()) fail(PFLoadErrorErrorDownloadingAsset);
        });
        PFVideoPrefetcher::shared()->removeAdTemplate(template_);
    }
}

void PFWebVideoView::templateReady() {
    auto prefetcher = PFVideoPrefetcher::shared();
    html_ = prefetcher->getTemplateHTML(template_->ID);
    if (html_.empty()) {
        templateFailed("empty html", "Webview Warning: html length is 0.");
        return;
    }
    if (state_ != 0) return;
    if (loadingTimer_) loadingTimer_->invalidate();
    loadingTimer_.reset();
    const auto base = prefetcher->getBaseURL();
    if (webview_) {
        webview_->loadHTMLString(html_, base);
    } else {
        const auto www = platform::AppHome::temporary() / "www";
        if (!prefetcher->copyTemplateFilesToPath(template_->ID, www)) {
            templateFailed("copyTemplateFiles",
                           "Webview Warning: could not copy files to /tmp/www");
            return;
        }
        webkit_->loadHTMLString(
            html_, platform::net::URL::parse("file://" +
                                             platform::percentEscape(www.string(), "/") + "/"));
    }
    startPlaybackPrivate();
}

void PFWebVideoView::templateFailed(const std::string& event, const std::string& log) {
    PFLogWarn("%s", log.c_str());
    track("error", "template", event, std::nullopt);
    closeWithError(true);  // the ad is broken: it is not kept for another try
}

void PFWebVideoView::startPlaybackPrivate() {
    if (videoPlaying_) return;
    state_ = 1;
    videoFinished_ = false;
    removeObservers();
    observe(platform::ui::kApplicationDidBecomeActiveNotification,
            &PFWebVideoView::didBecomeActive);
    observe(platform::ui::kApplicationWillResignActiveNotification,
            &PFWebVideoView::willResignActive);
}

void PFWebVideoView::stopPlayback() {
    PFLogVerbose("stop playback");
    PFTrack::trackVideoPlayerStopWithAdId(templateId_, adId_);
}

void PFWebVideoView::play() {
    PFLogVerbose("WEBVIEW - play %d", static_cast<int>(state_));
    if (state_ != 2) return;
    PFLogVerbose("finished: %d   playing: %d", videoFinished_ ? 1 : 0, videoPlaying_ ? 1 : 0);
    if (videoFinished_) return;
    videoPlaying_ = true;
    callJSFunctionWithArgs("onForeground", std::nullopt);
}

void PFWebVideoView::delayedPlay() {
    PFLogVerbose("WEBVIEW - delayedplay");
    std::weak_ptr<PFWebVideoView> weak =
        std::static_pointer_cast<PFWebVideoView>(shared_from_this());
    platform::Queue::main()->after(kVideoResumeDelay, [weak] {
        if (auto self = weak.lock()) self->play();
    });
}

void PFWebVideoView::pause() {
    PFLogVerbose("WEBVIEW - pause");
    if (!videoPlaying_) return;
    videoPlaying_ = false;
    callJSFunctionWithArgs("onBackground", std::nullopt);
}

void PFWebVideoView::audioRoutePhoneCall() {
    PFLogVerbose("WEBVIEW - audioRoutePhoneCall");
}

void PFWebVideoView::audioRouteHeadphones() {
    callJSFunctionWithArgs("onBackground", std::nullopt);
    play();
}

void PFWebVideoView::didBecomeActive() {
    auto pf = Puffin::sharedPuffin();
    if (videoPlaying_ || closing_ || PFDefaultViewController::shared()->loadingView() ||
        (pf && pf->appSheetVisible()))
        return;
    play();
}

void PFWebVideoView::willResignActive() {
    if (videoPlaying_) pause();
}

void PFWebVideoView::videoDidPlayToEndTime() {
    videoFinished_ = true;
    stopPlayback();
    ++completedCount_;
    PFLogVerbose("videoDidPlayToEndTime. playCount=%lu completedCount=%lu",
                 static_cast<unsigned long>(playCount_),
                 static_cast<unsigned long>(completedCount_));
    if (completedCount_ < 2)
        callOnMain([](PFWebVideoView& view) {
            if (auto completed = view.playbackCompletedCallback()) completed();
        });
}

// ---- the page side

bool PFWebVideoView::shouldStartLoadWithRequest(platform::web::WebView&,
                                                const platform::net::URLRequest& request,
                                                platform::web::NavigationType) {
    return processURL(request.url.absoluteString());
}

bool PFWebVideoView::processURL(const std::string& url) {
    PFLogVerbose("processURL - %s", url.c_str());
    const std::string prefix = kPrefix;
    if (lower(url).rfind(prefix, 0) != 0) return true;
    const Dictionary args = parseNativeURL(url.substr(prefix.size()));
    auto name = args.find("functionName");
    if (name != args.end() && name->second.isString())
        callNativeFunctionWithArgs(*name->second.string(), args);
    else
        PFLogWarn("Missing function name in %s", url.c_str());
    return false;
}

Dictionary PFWebVideoView::parseNativeURL(const std::string& rest) {
    // Split first, then decode each part: a "/" inside a value stays in the value.
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = rest.find('/', start);
        parts.push_back(
            rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    Dictionary args;
    if (parts.empty()) return args;
    auto function = platform::percentUnescape(parts[0]);
    if (!function || function->empty()) {
        PFLogWarn("parseNativeURL failed on function %s", parts[0].c_str());
        return args;
    }
    args["functionName"] = *function;
    for (size_t i = 1; i + 1 < parts.size(); i += 2) {
        auto key = platform::percentUnescape(parts[i]);
        auto value = platform::percentUnescape(parts[i + 1]);
        if (!key || !value || key->empty()) {
            PFLogWarn("parseNativeURL failed: key=%s value=%s", parts[i].c_str(),
                      parts[i + 1].c_str());
            continue;
        }
        args[*key] = *value;
    }
    return args;
}

void PFWebVideoView::callNativeFunctionWithArgs(const std::string& name, const Dictionary& args) {
    PFLogVerbose("callNativeFunction: %s", name.c_str());
    const Value meta = template_ ? Value(template_->metaData) : Value(Dictionary{});
    if (name == "close") {
        close();
    } else if (name == "click") {
        adClicked();
    } else if (name == "show") {
        if (playCount_ == 0)
            callOnMain([](PFWebVideoView& view) {
                if (auto display = view.displayCallback()) display(view.moreData());
            });
        ++playCount_;
    } else if (name == "videoCompleted") {
        videoDidPlayToEndTime();
        state_ = 3;
    } else if (name == "videoPlaying") {
        state_ = 2;
        videoFinished_ = false;
        videoPlaying_ = true;
        PFTrack::trackVideoPlayerStartWithAdIdWithPlayCount(templateId_, adId_,
                                                            static_cast<int>(playCount_));
    } else if (name == "videoReplayed") {
        ++playCount_;
        PFTrack::trackVideoPlayerReplayWithAdId(templateId_, adId_);
    } else if (name == "videoPaused") {
        videoPlaying_ = false;
    } else if (name == "currentVideoDuration") {
        playTime_ = std::atof(textAt(args, "duration").c_str());
    } else if (name == "totalVideoDuration") {
        playableDuration_ = std::atof(textAt(args, "duration").c_str());
    } else if (name == "error") {
        const std::string message = textAt(args, "message");
        PFLogWarn("Webview ERROR: %s", message.c_str());
        track("error", "javascript", message, std::nullopt);
        closeWithError(true);
    } else if (name == "warning") {
        const std::string message = textAt(args, "message");
        PFLogWarn("Webview WARNING: %s", message.c_str());
        track("warning", "javascript", message, std::nullopt);
    } else if (name == "debug") {
        const std::string message = textAt(args, "message");
        PFLogVerbose("Webview DEBUG: %s", message.c_str());
        track("event", "javascript", message, std::nullopt);
    } else if (name == "tracking") {
        PFLogVerbose("Webview TRACKING: %s", textAt(args, "event").c_str());
        sendTrackingEvent(args);
    } else {
        PFLogWarn("WebView WARNING: Cannot process function %s. Function not found", name.c_str());
        track("warning", "javascript", textAt(args, "Unknown function call"), name);
    }
}

void PFWebVideoView::track(const char* kind,
                           const std::string& category,
                           const std::string& event,
                           const std::optional<std::string>& data) {
    const Value meta = template_ ? Value(template_->metaData) : Value(Dictionary{});
    if (std::string(kind) == "error")
        PFTrack::trackWebviewErrorWithEventWithDataWithMetaForAdUnit(category, event, data, meta,
                                                                     templateId_);
    else if (std::string(kind) == "warning")
        PFTrack::trackWebviewWarningWithEventWithDataWithMetaForAdUnit(category, event, data, meta,
                                                                       templateId_);
    else
        PFTrack::trackWebviewEventWithEventWithDataWithMetaForAdUnit(category, event, data, meta,
                                                                     templateId_);
}

std::optional<std::string> PFWebVideoView::callJSFunctionWithArgs(
    const std::string& name,
    const std::optional<Value>& args) {
    std::string json;
    if (args) {
        platform::Error error;
        auto text = platform::json::serialize(*args, false, &error);
        if (!text) {
            PFLogError("Error creating JSON from the response  : %s",
                       error.localizedDescription().c_str());
            return std::nullopt;
        }
        json = *text;
    }
    const std::string script = "javascript:Puffin.EventHandler.handleNativeEvent(" +
                               scriptString(name) + ", " + scriptString(json) + ");";
    PFLogVerbose("callJSFunction: %s", script.c_str());
    if (webview_) return webview_->stringByEvaluatingJavaScriptFromString(script);
    if (webkit_) webkit_->evaluateJavaScript(script, nullptr);
    return std::string();
}

void PFWebVideoView::sendTrackingEvent(const Dictionary& args) {
    if (!trackingEvents_) return;
    const std::string event = textAt(args, "event");
    if (event.empty()) return;
    auto list = trackingEvents_->find(event);
    if (list == trackingEvents_->end() || !list->second.isArray()) return;
    for (const Value& entry : *list->second.array()) {
        if (!entry.isString()) continue;
        std::string url = *entry.string();
        for (const auto& [key, value] : args) {
            if (key == "event" || key == "functionName" || key.empty() || !value.isString())
                continue;
            // Page values go into the URL escaped: they can neither break it nor add to it.
            const std::string escaped = platform::percentEscape(*value.string());
            for (size_t at = url.find(key); at != std::string::npos;
                 at = url.find(key, at + escaped.size()))
                url.replace(at, key.size(), escaped);
        }
        auto parsed = platform::net::URL::parse(url);
        if (!parsed) {
            PFLogWarn("Webview: TrackingEvent failed %s with %s", url.c_str(), "a bad URL");
            continue;
        }
        platform::net::URLRequest request(*parsed);
        request.cachePolicy = platform::net::CachePolicy::ReloadIgnoringLocalCacheData;
        PFHTTPRequestManager::shared()->addRequestSuccessFailureSendNow(
            request,
            [url](auto, const auto&) {
                PFLogVerbose("Webview: TrackingEvent success %s", url.c_str());
            },
            [url](auto, const platform::Error& error) {
                PFLogWarn("Webview: TrackingEvent failed %s with %s", url.c_str(),
                          error.localizedDescription().c_str());
            },
            true);
    }
}

void PFWebVideoView::adClicked() {
    callOnMain([](PFWebVideoView& view) {
        if (auto click = view.clickCallback()) click(std::nullopt, view.moreData(), std::nullopt);
    });
}

void PFWebVideoView::closeWithError(bool error) {
    if (!isUserInteractionEnabled() || closing_) return;
    setUserInteractionEnabled(false);
    closing_ = true;
    state_ = 4;
    stopPlayback();
    if (PFDefaultViewController::shared()->loadingView())
        PFDefaultViewController::shared()->dismissLoadingView();
    removeObservers();
    if (loadingTimer_) loadingTimer_->invalidate();
    callOnMain([error](PFWebVideoView& view) {
        auto callback = error ? view.closeNoRetryCallback() : view.closeCallback();
        if (callback) callback();
    });
    PFVideoPrefetcher::shared()->removeAdTemplate(template_);
}

void PFWebVideoView::webViewDidFinishLoad(platform::web::WebView&) {
    platform::UserDefaults::standard().set("WebKitCacheModelPreferenceKey", Value(0));
}

void PFWebVideoView::didFailLoadWithError(platform::web::WebView&, const platform::Error& error) {
    const std::string description = error.localizedDescription();
    PFLogWarn("Webview Error: did fail load with errors %s", description.c_str());
    track("error", "didFailLoad", description, std::nullopt);
    close();
}

// ---- the view

void PFWebVideoView::destroy() {
    removeFromSuperview();
    removeAllAnimations();
    // The page goes; the process's URL cache and everyone else's cached answers stay.
    if (auto page = webView()) {
        page->loadHTMLString("", std::nullopt);
        page->removeFromSuperview();
        page->setDelegate({});
        page->stopLoading();
    }
    webview_.reset();
    webkit_.reset();
}

void PFWebVideoView::layoutSubviews() {
    // The page fills the view; the view's own frame is its presenter's to set.
    if (auto page = webView()) page->setFrame(bounds());
}

void PFWebVideoView::removeObservers() {
    for (auto token : observations_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    observations_.clear();
}

void PFWebVideoView::observe(const std::string& name, void (PFWebVideoView::*handler)()) {
    std::weak_ptr<PFWebVideoView> weak =
        std::static_pointer_cast<PFWebVideoView>(shared_from_this());
    // Posts come from any thread; the view hears them on the main thread.
    observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        name, nullptr,
        [weak, handler](const platform::Notification&) {
            if (auto self = weak.lock()) ((*self).*handler)();
        },
        [](std::function<void()> work) { platform::Queue::main()->async(std::move(work)); }));
}
