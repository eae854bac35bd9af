#include "ads/pipeline/core/HRNSDKCoreController.h"

#include <algorithm>

#include "ads/formats/HRNAd.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/PropertyList.h"

namespace {

using platform::Dictionary;
using platform::Value;

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

}  // namespace

std::shared_ptr<HRNSDKCoreController> HRNSDKCoreController::sharedInstance() {
    // Made once and never destroyed: it lives for the process, past the queues it uses.
    static const std::shared_ptr<HRNSDKCoreController>& shared =
        *new std::shared_ptr<HRNSDKCoreController>([] {
            auto controller = std::shared_ptr<HRNSDKCoreController>(new HRNSDKCoreController());
            controller->activeSDKCoreWebView_->SDKCoreHMSGHandler()->setDelegate(controller);
            return controller;
        }());
    return shared;
}

HRNSDKCoreController::HRNSDKCoreController()
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("sdk-core-controller"))),
      activeSDKCoreWebView_(HRNSDKCoreWebView::create()) {}

HRNSDKCoreController::~HRNSDKCoreController() = default;

// ---- Requests ----

void HRNSDKCoreController::buildAdURL(
    const std::shared_ptr<HRNSDKCoreControllerDelegate>& requester) {
    if (!requester) return;
    if (auto recorder = requester->adLoadActionTimeRecorder())
        recorder->startTimingVariableWithName("rur_ios");
    auto self = shared_from_this();
    lockQueue_->async([self, requester] {
        const uint64_t ticket = self->nextTicket_++;
        self->pendingActiveWebViewLoadDelegates_.push_back(Pending{requester, ticket});
        // A page that never answers must not keep its requester waiting for ever.
        self->lockQueue_->after(kRequestTimeout, [self, ticket] { self->timeOut(ticket); });
    });
    attemptToRefreshActiveWebViewSDKCore();
}

void HRNSDKCoreController::attemptToRefreshActiveWebViewSDKCore() {
    auto self = shared_from_this();
    lockQueue_->async([self] {
        const uint64_t now = HRNAbsoluteTime::absoluteTimeInMilliseconds();
        const bool stale = now - self->lastWebViewRefreshTimestamp_ > kRefreshInterval;
        platform::Queue::global()->async([self, stale] {
            const int64_t state = self->activeSDKCoreWebView_->state();
            if (state == 0 || state == 4 || stale) {
                self->refreshActiveWebViewSDKCore();
            } else {
                self->observeSDKCoreWebViewForSDKCoreLoadRequestCompleted();
            }
        });
    });
}

void HRNSDKCoreController::refreshActiveWebViewSDKCore() {
    auto self = shared_from_this();
    activeSDKCoreWebView_->refreshSDKCoreAndNotifyObserver(self);
    lockQueue_->async([self] {
        self->SDKConstantsNeedReload_ = true;
        self->lastWebViewRefreshTimestamp_ = HRNAbsoluteTime::absoluteTimeInMilliseconds();
    });
}

void HRNSDKCoreController::observeSDKCoreWebViewForSDKCoreLoadRequestCompleted() {
    activeSDKCoreWebView_->addObserverForOneTimeNotification(shared_from_this());
}

void HRNSDKCoreController::didFinishLoadingSDKCoreInSDKCoreWebView(
    const std::shared_ptr<HRNSDKCoreWebView>& webView) {
    auto self = shared_from_this();
    lockQueue_->async([self, webView] {
        const int64_t state = webView->state();
        if (self->SDKConstantsNeedReload_ && state == 3) {
            auto json =
                adRequestParameterJSONFromParameters(HRNRequest::request()->threadSafeParameters());
            if (!json) json = hrn_JSONStringForScript(Dictionary{{"js", HRNRequest::sdkVersion()}});
            webView->enqueueJavaScriptCommand("HSDK_getSdkConstants(" + json.value_or("") + ");");
        }
        if (state == 3) {
            auto waiting = std::move(self->pendingActiveWebViewLoadDelegates_);
            self->pendingActiveWebViewLoadDelegates_.clear();
            for (auto& pending : waiting)
                self->asynchronouslyRequestURLForDelegate(std::move(pending));
        } else if (state == 4) {
            auto waiting = std::move(self->pendingActiveWebViewLoadDelegates_);
            self->pendingActiveWebViewLoadDelegates_.clear();
            for (auto& pending : waiting)
                answerOnMainQueue(pending.requester, [](HRNSDKCoreControllerDelegate& requester) {
                    requester.failedJavaScriptFile();
                });
        }
        if (!webView->hasSDKCoreLoadedAtLeastOnce()) self->lastWebViewRefreshTimestamp_ = 0;
        if (!self->pendingActiveWebViewLoadDelegates_.empty())
            webView->addObserverForOneTimeNotification(self);
    });
}

void HRNSDKCoreController::asynchronouslyRequestURLForDelegate(Pending pending) {
    const std::string requestID = std::to_string(requestID_++);
    auto self = shared_from_this();
    std::weak_ptr<HRNSDKCoreControllerDelegate> weak = pending.requester;
    platform::Queue::main()->async([self, weak, pending, requestID] {
        std::optional<Dictionary> parameters;
        if (auto requester = weak.lock()) {
            requester->setRequestID(requestID);
            parameters = requester->requestParameters();
        }
        self->lockQueue_->async([self, pending, requestID, parameters] {
            self->sendRequestWithParameters(pending, requestID, parameters);
        });
    });
}

void HRNSDKCoreController::sendRequestWithParameters(Pending pending,
                                                     const std::string& requestID,
                                                     const std::optional<Dictionary>& parameters) {
    if (parameters) {
        if (auto eid = parameters->find("eid"); eid != parameters->end() && eid->second.string())
            if (auto recorder = pending.requester->adLoadActionTimeRecorder())
                for (const std::string& experiment : splitAtCommas(*eid->second.string()))
                    recorder->addExperimentID(experiment);
    }
    auto json = adRequestParameterJSONFromParameters(parameters);
    if (!json) {
        // No parameters, or none that JSON can hold: the page could not answer this request.
        answerOnMainQueue(pending.requester, [](HRNSDKCoreControllerDelegate& requester) {
            requester.invalidJavaScriptRequest();
        });
        return;
    }
    const char* function = parameters->count("heron-ad-url-mediation")
                               ? "HSDK_getAdapterLessMediationAd"
                               : "HSDK_getAd";
    pendingBuildAdURLDelegates_[requestID] = pending;
    auto self = shared_from_this();
    activeSDKCoreWebView_->enqueueJavaScriptCommand(
        std::string(function) + "(" + *json + ");", [self, requestID] {
            // The call was pushed out of the page's queue: no answer will come for it.
            self->lockQueue_->async([self, requestID] {
                if (auto taken = self->takeRequester(requestID))
                    answerOnMainQueue(taken->requester,
                                      [](HRNSDKCoreControllerDelegate& requester) {
                                          requester.failedJavaScriptFile();
                                      });
            });
        });
}

std::optional<std::string> HRNSDKCoreController::adRequestParameterJSONFromParameters(
    const std::optional<Dictionary>& parameters) {
    if (!parameters) return std::nullopt;
    return hrn_JSONStringForScript(hrn_JSONSafeDictionary(*parameters));
}

std::optional<HRNSDKCoreController::Pending> HRNSDKCoreController::takeRequester(
    const std::optional<std::string>& requestID) {
    if (!requestID) return std::nullopt;
    auto found = pendingBuildAdURLDelegates_.find(*requestID);
    if (found == pendingBuildAdURLDelegates_.end()) return std::nullopt;
    Pending pending = std::move(found->second);
    pendingBuildAdURLDelegates_.erase(found);
    return pending;
}

void HRNSDKCoreController::timeOut(uint64_t ticket) {
    std::shared_ptr<HRNSDKCoreControllerDelegate> requester;
    auto waiting = std::find_if(pendingActiveWebViewLoadDelegates_.begin(),
                                pendingActiveWebViewLoadDelegates_.end(),
                                [ticket](const Pending& p) { return p.ticket == ticket; });
    if (waiting != pendingActiveWebViewLoadDelegates_.end()) {
        requester = waiting->requester;
        pendingActiveWebViewLoadDelegates_.erase(waiting);
    } else {
        for (auto it = pendingBuildAdURLDelegates_.begin(); it != pendingBuildAdURLDelegates_.end();
             ++it) {
            if (it->second.ticket != ticket) continue;
            requester = it->second.requester;
            pendingBuildAdURLDelegates_.erase(it);
            break;
        }
    }
    if (!requester) return;  // answered in time
    HRNLogger::sharedInstance()->logPublicMessage(
        "The SDK core did not answer the ad request in time.");
    answerOnMainQueue(requester, [](HRNSDKCoreControllerDelegate& r) { r.requestDidTimeOut(); });
}

void HRNSDKCoreController::answerOnMainQueue(
    const std::shared_ptr<HRNSDKCoreControllerDelegate>& requester,
    std::function<void(HRNSDKCoreControllerDelegate&)> answer) {
    std::weak_ptr<HRNSDKCoreControllerDelegate> weak = requester;
    platform::Queue::main()->async([weak, answer = std::move(answer)] {
        if (auto strong = weak.lock()) answer(*strong);
    });
}

std::vector<std::string> HRNSDKCoreController::pendingBuildAdURLRequestIDs() const {
    std::vector<std::string> ids;
    lockQueue_->sync([&] {
        for (const auto& [id, pending] : pendingBuildAdURLDelegates_)
            ids.push_back(id);
    });
    return ids;
}

bool HRNSDKCoreController::SDKConstantsNeedReload() const {
    bool needReload = false;
    lockQueue_->sync([&] { needReload = SDKConstantsNeedReload_; });
    return needReload;
}

// ---- The page's answers ----

void HRNSDKCoreController::SDKCoreHMSGHandlerLoadAdURLWithRequestIDParameters(
    HRNSDKCoreHMSGHandler&,
    const std::optional<std::string>& requestID,
    const Dictionary& parameters) {
    if (!requestID) return;
    auto self = shared_from_this();
    lockQueue_->async([self, requestID, parameters] {
        auto taken = self->takeRequester(requestID);
        if (!taken) return;
        answerOnMainQueue(taken->requester, [parameters](HRNSDKCoreControllerDelegate& requester) {
            if (auto recorder = requester.adLoadActionTimeRecorder()) {
                recorder->endTimingVariableWithName("rur_ios");
                recorder->startTimingVariableWithName("nwl_ios");
            }
            requester.loadAdURLWithParameters(parameters);
        });
    });
}

void HRNSDKCoreController::SDKCoreHMSGHandlerLoadAdWithRequestIDParameters(
    HRNSDKCoreHMSGHandler&,
    const std::optional<std::string>& requestID,
    const Value& parameters) {
    auto self = shared_from_this();
    lockQueue_->async([self, requestID, parameters] {
        auto taken = self->takeRequester(requestID);
        if (!taken) return;
        answerOnMainQueue(taken->requester, [parameters](HRNSDKCoreControllerDelegate& requester) {
            const Dictionary fetched =
                parameters.dictionary() ? *parameters.dictionary() : Dictionary();
            std::shared_ptr<HRNAd> ad;
            switch (requester.requestedAdType()) {
                case 0:
                    ad = HRNAd::initWithDictionary(fetched);
                    break;
                case 1:
                    ad = HRNBannerAd::initWithDictionary(fetched);
                    break;
                case 2:
                    ad = HRNInterstitialAd::initWithDictionary(fetched);
                    break;
                default:
                    break;
            }
            Dictionary headers;
            if (ad) {
                auto mediation = fetched.find("is_mediation");
                if (mediation != fetched.end() && mediation->second.asBool()) {
                    ad->setResponseType(kHRNAdResponseTypeMediation);
                    Dictionary responseHeaders = ad->responseHeaders();
                    responseHeaders["x-hsdk-mediation"] = 1;
                    responseHeaders["Content-Type"] = "application/json";
                    ad->setResponseHeaders(responseHeaders);
                }
                headers = ad->responseHeaders();
            }
            requester.loadAdHeaders(ad, headers);
        });
    });
}

void HRNSDKCoreController::SDKCoreHMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(
    HRNSDKCoreHMSGHandler&,
    const std::optional<std::string>& requestID,
    const Dictionary& parameters) {
    auto self = shared_from_this();
    lockQueue_->async([self, requestID, parameters] {
        auto taken = self->takeRequester(requestID);
        if (!taken) return;
        answerOnMainQueue(taken->requester, [parameters](HRNSDKCoreControllerDelegate& requester) {
            std::string message = "Invalid Request.";
            if (auto errors = parameters.find("errors"); errors != parameters.end())
                message += " " + (errors->second.string()
                                      ? *errors->second.string()
                                      : platform::json::serialize(errors->second).value_or(""));
            HRNLogger::sharedInstance()->logPublicMessage(message);
            if (auto recorder = requester.adLoadActionTimeRecorder())
                recorder->cancelTimingVariableWithName("rur_ios");
            requester.invalidJavaScriptRequest();
        });
    });
}

void HRNSDKCoreController::SDKCoreHMSGHandlerDidLoadSDKConstants(HRNSDKCoreHMSGHandler&,
                                                                 const Dictionary& constants) {
    storeSDKConstants(constants);
}

void HRNSDKCoreController::SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification(
    HRNSDKCoreHMSGHandler&) {
    std::lock_guard lock(mutex_);
    SDKCoreUpdateHandled_ = false;
}

// ---- Sampling intervals ----

double HRNSDKCoreController::viewabilitySamplingInterval() const {
    std::lock_guard lock(mutex_);
    return viewabilitySamplingInterval_;
}

void HRNSDKCoreController::setViewabilitySamplingInterval(double interval) {
    std::lock_guard lock(mutex_);
    viewabilitySamplingInterval_ = interval;
}

double HRNSDKCoreController::swipeToViewSamplingInterval() const {
    std::lock_guard lock(mutex_);
    return swipeToViewSamplingInterval_;
}

void HRNSDKCoreController::setSwipeToViewSamplingInterval(double interval) {
    std::lock_guard lock(mutex_);
    swipeToViewSamplingInterval_ = interval;
}

std::optional<platform::Array> HRNSDKCoreController::viewabilityMonitorRefreshIntervals() const {
    std::lock_guard lock(mutex_);
    return viewabilityMonitorRefreshIntervals_;
}

// ---- Viewability pages ----

std::shared_ptr<HRNSDKCoreWebView> HRNSDKCoreController::SDKCoreWebViewForViewabilityProcessing() {
    removeFinishedViewabilityWebViews();
    std::shared_ptr<HRNSDKCoreWebView> page;
    {
        std::lock_guard lock(mutex_);
        if (!useNewWebViewsForViewabilityProcessing_ && SDKCoreUpdateHandled_ &&
            viewabilitySDKCoreWebView_)
            return viewabilitySDKCoreWebView_;
        page = HRNSDKCoreWebView::create();
        if (!useNewWebViewsForViewabilityProcessing_) {
            viewabilitySDKCoreWebView_ = page;
            SDKCoreUpdateHandled_ = true;
        }
    }
    page->refreshSDKCore();
    return page;
}

void HRNSDKCoreController::finishedUsingSDKCoreWebViewForViewabilityProcessing(
    const std::shared_ptr<HRNSDKCoreWebView>& webView) {
    if (webView && webView->isViewabilityRunning()) cacheRunningViewabilityWebView(webView);
}

void HRNSDKCoreController::cacheRunningViewabilityWebView(
    const std::shared_ptr<HRNSDKCoreWebView>& webView) {
    {
        std::lock_guard lock(mutex_);
        if (std::find(viewabilitySDKCoreWebViews_.begin(), viewabilitySDKCoreWebViews_.end(),
                      webView) == viewabilitySDKCoreWebViews_.end())
            viewabilitySDKCoreWebViews_.push_back(webView);
    }
    removeFinishedViewabilityWebViews();
}

void HRNSDKCoreController::removeFinishedViewabilityWebViews() {
    std::vector<std::shared_ptr<HRNSDKCoreWebView>> setAside;
    {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<HRNSDKCoreWebView>> kept;
        for (auto it = viewabilitySDKCoreWebViews_.rbegin();
             it != viewabilitySDKCoreWebViews_.rend(); ++it) {
            if ((*it)->isViewabilityRunning() && kept.size() < viewabilityUnloadCacheMaxSize_)
                kept.insert(kept.begin(), *it);
            else
                setAside.push_back(*it);
        }
        viewabilitySDKCoreWebViews_ = std::move(kept);
    }
    for (const auto& page : setAside) {
        page->clearAllViewabilityInstances();
        finishedUsingSDKCoreWebViewForViewabilityProcessing(page);
    }
}

void HRNSDKCoreController::setUseNewWebViewsForViewabilityProcessing(bool useNew) {
    std::lock_guard lock(mutex_);
    useNewWebViewsForViewabilityProcessing_ = useNew;
}

void HRNSDKCoreController::setViewabilityUnloadCacheMaxSize(uint64_t size) {
    if (size == 0) return;
    std::lock_guard lock(mutex_);
    viewabilityUnloadCacheMaxSize_ = size;
}

std::vector<std::shared_ptr<HRNSDKCoreWebView>> HRNSDKCoreController::viewabilitySDKCoreWebViews()
    const {
    std::lock_guard lock(mutex_);
    return viewabilitySDKCoreWebViews_;
}
