#include "ads/pipeline/slot/HRNSlot.h"

#include <cctype>
#include <cstdio>
#include <mutex>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNExtras.h"
#include "ads/formats/HRNMobileAds.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNCSI.h"
#include "ads/foundation/HRNCSIConfiguration.h"
#include "ads/foundation/HRNCSIReporter.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNLocationService.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNSignals.h"
#include "ads/foundation/HRNTimerAdditions.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/mediation/HRNMAdManager.h"
#include "ads/mediation/HRNSlotStatistics.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/messages/HRNHMSGHandler.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "ads/rendering/views/HRNAdView.h"
#include "ads/rendering/views/HRNAdViewViewabilityReporter.h"
#include "ads/rendering/views/HRNBannerAdViewDelegate.h"
#include "ads/rendering/views/HRNVideoPlayer.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Application.h"

namespace {

// The ad servers' domains when the server names none.
constexpr const char* kDefaultAdServerDomains[] = {"127.0.0.1", "localhost", "ads.heron.invalid"};

std::string lowercased(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(trimmed(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

void startSDKOnce() {
    // The slot class's first use is one of the triggers of the SDK's start-up.
    static std::once_flag classInitialized;
    std::call_once(classInitialized, [] {
        HRNDispatchToMainThread([] { HRNApplication::sharedInstance()->runEarlyActivities(); });
    });
}

}  // namespace

std::shared_ptr<HRNSlot> HRNSlot::create(const platform::ui::Rect& frame) {
    startSDKOnce();
    auto slot = std::shared_ptr<HRNSlot>(new HRNSlot(frame));
    slot->setUp();
    return slot;
}

HRNSlot::HRNSlot(const platform::ui::Rect& frame) {
    adView_ = HRNAdView::create(frame);
}

void HRNSlot::setUp() {
    auto self = shared_from_this();
    adView_->viewabilityReporter()->setObserver(self);
    HRNCSI::sharedInstance()->recordTimestampForLabel("native:view_create");
    adViewDelegate_ = HRNBannerAdViewDelegate::create(self);
    adView_->setDelegate(adViewDelegate_);
    std::weak_ptr<HRNSlot> weak = self;
    observe(platform::ui::kApplicationWillResignActiveNotification, [weak] {
        auto slot = weak.lock();
        if (!slot) return;
        slot->deactivateReloadTimer();
        if (slot->viewabilityMonitor_) slot->viewabilityMonitor_->sample();
    });
    observe(platform::ui::kApplicationDidBecomeActiveNotification, [weak] {
        auto slot = weak.lock();
        if (!slot) return;
        slot->scheduleAdReloadTimer();
        if (slot->viewabilityMonitor_) slot->viewabilityMonitor_->sample();
    });
    observe("kAdModalViewControllerWillPresentFullScreen", [weak] {
        auto slot = weak.lock();
        if (!slot) return;
        if (slot->adView_ && slot->adView_->window() && slot->adView_->videoPlayer())
            slot->adView_->videoPlayer()->pause();
        slot->deactivateReloadTimer();
    });
    observe("kAdModalViewControllerDidDismissFullScreen", [weak] {
        if (auto slot = weak.lock()) slot->scheduleAdReloadTimer();
    });
    observe(HRNMobileAds::kApplicationVolumeDidChangeNotification, [weak] {
        if (auto slot = weak.lock()) slot->postVolumeNotification();
    });
    adType_ = HRNAdType::interstitialAdType();
    slotStats_ = std::make_shared<HRNSlotStatistics>();
    mediationManager_ = std::make_shared<HRNMAdManager>();
    mediationManager_->setSlot(self);
    viewabilityMonitoredView_ = adView_;
}

void HRNSlot::observe(const std::string& name, std::function<void()> action) {
    observers_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        name, nullptr, [action = std::move(action)](const platform::Notification&) {
            HRNDispatchToMainThread(action);
        }));
}

HRNSlot::~HRNSlot() {
    MRAIDAdDidUnload();
    if (adFetcher_) adFetcher_->cancel();
    for (auto token : observers_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    if (orientationObserver_)
        platform::NotificationCenter::defaultCenter().removeObserver(orientationObserver_);
    invalidate();
    if (mediationManager_) mediationManager_->setSlot({});
    sendCSIAdLoadTimings();
    HRNApplication::sharedInstance()->didNotSendAdStatistics(pendingAdStatistics_);
}

std::string HRNSlot::description() const {
    char head[96];
    std::snprintf(head, sizeof head, "<HRNSlot: %p>\nad unit ID:", static_cast<const void*>(this));
    return head + adUnitID_.value_or("(null)");
}

void HRNSlot::setAdUnitID(std::optional<std::string> adUnitID) {
    adUnitID_ = std::move(adUnitID);
    slotStats_->setIdentifier(adUnitID_);
}

void HRNSlot::setAdTypeAndReloadRequest(const std::shared_ptr<HRNAdType>& type, bool reload) {
    if (!type || (adType_ && adType_->isEqual(*type))) return;
    adType_ = type;
    if (newAdSize_ == platform::ui::Size() && reload && adView_) adView_->setHidden(true);
    if (isMediating()) {
        if (changeAdTypeTo(type)) return;
        if (auto delegate = slotDelegate()) delegate->slotDidReceiveAdView(*this, nullptr);
    }
    if (reload) {
        if (isMakingRequest()) cancelPendingActions();
        if (slotHasAttemptedAnAdRequestAtLeastOnce_) loadNextRequestWithAutoRefresh(false);
    }
}

void HRNSlot::setPlacement(const std::shared_ptr<platform::ui::View>& placement) {
    placement_ = placement;
    if (adView_) adView_->didMoveToPlacement(placement);
    if (placement && pendingCustomRenderingAd_) renderPendingCustomRenderingAd();
}

void HRNSlot::loadRequest(const std::shared_ptr<HRNRequest>& request) {
    nextRequest_ = request ? request->copy() : nullptr;
    loadNextRequestWithAutoRefresh(false);
}

void HRNSlot::setReloadInterval(double seconds) {
    reloadInterval_ = seconds >= 1.0 ? seconds : 0;
}

bool HRNSlot::isMakingRequest() const {
    return state_ >= 2 && state_ <= 5;
}

bool HRNSlot::shouldMakeRequest(const std::shared_ptr<HRNRequest>& request) {
    auto delegate = slotDelegate();
    if (isMakingRequest())
        return delegate && delegate->slotShouldPreemptInProgressRequest(*this).value_or(false);
    if (delegate) {
        std::optional<platform::Error> error;
        HRNRequest& asked = request ? *request : *HRNRequest::request();
        if (auto answer = delegate->slotShouldLoadRequestError(*this, asked, &error);
            answer && !*answer) {
            adFailedToReceiveContentWithError(error ? *error
                                                    : HRNRequestError::errorWithCodeRequest(
                                                          kHRNErrorInvalidRequest, request.get()));
            return false;
        }
    }
    if (state_ == 8) return false;
    auto application = HRNApplication::sharedInstance();
    if (!application->backgroundLoadingEnabled() && !application->active()) return false;
    return HRNDevice::sharedInstance()->OSIsSupported();
}

void HRNSlot::loadNextRequestWithAutoRefresh(bool autoRefresh) {
    auto self = shared_from_this();
    if (auto keyDelegate = adKeyDelegate())
        keyDelegate->cacheViewHierarchyInformationForSlot(*this);
    HRNLocationService::sharedInstance()->updateLocation();
    HRNDevice::sharedInstance()->updateDynamicParameters();
    slotHasAttemptedAnAdRequestAtLeastOnce_ = true;
    if (!shouldMakeRequest(nextRequest_)) return;
    // The ad's page will load in the ad view: its script context is made meanwhile, off the
    // main thread, while the ad is asked for and fetched.
    if (adView_) adView_->webView()->prepareScriptContext();
    cancelLoad();

    adLoadActionTimeRecorder_ = HRNCSITimeRecorder::create("load_ad_ios");
    adLoadActionTimeRecorder_->startTimingVariableWithName("arf_ios");
    adLoadActionTimeRecorder_->startTimingVariableWithName("ttc_ios");
    adLoadActionTimeRecorder_->setCustomizedParameterValueForKey(
        platform::Value(HRNRequest::sdkVersion()), "sdkVersion");

    willRequestAdURL();
    if (!nextRequest_) nextRequest_ = HRNRequest::request();
    loadingRequest_ = nextRequest_->copy();
    if (auto delegate = slotDelegate())
        delegate->slotWillLoadAdWithRequest(*this, *loadingRequest_);
    hasAutoRefreshed_ = autoRefresh;
    logRequestTestAdInstructions();

    // The request's own extras may carry the ad itself or its URL.
    auto extras =
        std::dynamic_pointer_cast<HRNExtras>(loadingRequest_->adNetworkExtrasFor("HRNExtras"));
    const platform::Dictionary additional = loadingRequest_->networkExtrasAdditionalParameters();
    uint64_t mask = 0;
    if (auto orientation = additional.find("_orientation");
        orientation != additional.end() && orientation->second.string()) {
        if (*orientation->second.string() == "p") mask = 6;
        if (*orientation->second.string() == "l") mask = 24;
    }
    std::shared_ptr<HRNAd> presetAd = extras ? extras->ad() : nullptr;
    if (!presetAd) {
        if (auto preset = additional.find("_ad");
            preset != additional.end() && preset->second.dictionary()) {
            presetAd = adType_ && adType_->isInterstitial()
                           ? HRNInterstitialAd::initWithDictionary(*preset->second.dictionary())
                           : HRNBannerAd::initWithDictionary(*preset->second.dictionary());
        }
    }
    if (presetAd) {
        if (mask) presetAd->setSupportedOrientations(mask);
        platform::Dictionary headers;
        if (auto given = additional.find("_adHeaders");
            given != additional.end() && given->second.dictionary())
            headers = *given->second.dictionary();
        loadAdHeaders(presetAd, headers);
        return;
    }
    if (extras && extras->requestURL()) {
        HRNMRAIDInterceptor::allow();
        auto ad = std::make_shared<HRNAd>();
        ad->setAdURL(extras->requestURL());
        if (mask) ad->setSupportedOrientations(mask);
        loadAdHeaders(ad, {});
        return;
    }
    HRNSDKCoreController::sharedInstance()->buildAdURL(self);
}

void HRNSlot::logRequestTestAdInstructions() {
    static bool logged = false;
    if (logged) return;
    logged = true;
    auto device = HRNDevice::sharedInstance();
    const std::string identifier = device->isSimulator() ? "Simulator" : device->deviceIdentifier();
    if (loadingRequest_ && loadingRequest_->testDevices())
        for (const auto& entry : *loadingRequest_->testDevices())
            if (entry == identifier) return;
    auto logger = HRNLogger::sharedInstance();
    if (device->isSimulator()) {
        logger->logPublicMessage(
            "To get test ads on this device, call: request.testDevices = @[ kHRNSimulatorID ];");
    } else if (!identifier.empty()) {
        logger->logPublicMessage(
            "To get test ads on this device, call: request.testDevices = @[ @\"" + identifier +
            "\" ];");
    } else {
        logger->logPublicMessage(
            "Advertising tracking may be disabled. To get test ads on this device, enable "
            "advertising tracking.");
    }
}

void HRNSlot::loadAdHeaders(const std::shared_ptr<HRNAd>& ad, const platform::Dictionary& headers) {
    if (!ad) {
        didFailToReceiveAdWithErrorShouldCancelPendingActions(
            HRNRequestError::errorWithCodeRequest(kHRNErrorReceivedInvalidResponse,
                                                  loadingRequest_.get()),
            false);
        return;
    }
    mediationManager_->cancel();
    if (adFetcher_) adFetcher_->cancel();
    adFetcher_.reset();
    resetRequestState();
    loadingAd_ = ad;
    willFetchAdContent();
    if (ad->hasAdNetworkJavaScript()) {
        loadAdNetworkJavaScriptRequest(ad);
        return;
    }
    if (adType_ && !adType_->isInterstitial() && std::dynamic_pointer_cast<HRNBannerAd>(ad)) {
        newAdSize_ = ad->size();
        setReloadInterval(ad->reloadInterval());
    }
    adFetcher_ = HRNAdFetcher::create();
    adFetcher_->setRequest(loadingRequest_);
    platform::Error error;
    adFetcher_->fetchRemainingContentForAdHeadersDelegateError(ad, headers, weak_from_this(),
                                                               &error);
}

void HRNSlot::adFetcherDidFetchAd(HRNAdFetcher&, const std::shared_ptr<HRNAd>& ad) {
    auto self = shared_from_this();
    didFetchAdContent();
    processAdResponse(ad);
}

void HRNSlot::adFetcherDidFailToFetchAdWithErrorResponseCode(HRNAdFetcher&,
                                                             const std::shared_ptr<HRNAd>& ad,
                                                             const HRNRequestError& error,
                                                             int64_t) {
    auto self = shared_from_this();
    // The failed ad's refresh interval is kept, with the same one-second floor as any other:
    // a server answering a shorter one would otherwise be asked again many times a second.
    if (ad && error.code != kHRNErrorReceivedInvalidResponse)
        setReloadInterval(ad->reloadInterval());
    didFailToReceiveAdWithErrorShouldCancelPendingActions(error, false);
}

void HRNSlot::cancelLoad() {
    if (adFetcher_) adFetcher_->cancel();
    adFetcher_.reset();
    loadingAd_.reset();
    resetState();
}

void HRNSlot::cancelPendingActions() {
    deactivateReloadTimer();
    cancelLoad();
    mediationManager_->cancel();
}

void HRNSlot::cancelPendingAndFutureActions() {
    cancelPendingActions();
    slotDelegate_.reset();
    reloadable_ = false;
    deactivateReloadTimer();
    invalidateState();
}

void HRNSlot::invalidate() {
    if (adViewDelegate_) adViewDelegate_->opener()->setSlot({});
    adViewDelegate_.reset();
    if (adView_) {
        auto adView = std::move(adView_);
        adView_.reset();
        adView->setDelegate({});
        HRNDispatchToMainThread([adView] { adView->removeFromSuperview(); });
    }
    viewabilityMonitoredView_.reset();
    invalidateState();
}

void HRNSlot::processStandardAdResponse(const std::shared_ptr<HRNAd>& ad) {
    if (auto responseDelegate = adResponseDelegate()) {
        std::optional<platform::Error> error;
        if (!responseDelegate->slotShouldProcessAdResponseError(*this, ad, &error)) {
            if (error) {
                didFailToReceiveAdWithErrorShouldCancelPendingActions(error, false);
            } else {
                didReceiveValidAd();
            }
            return;
        }
    }
    loadingAd_ = ad;
    setReloadInterval(ad->reloadInterval());
    scheduleAdReloadTimer();
    if (ad->customAdSizeString()) {
        newAdSize_ = adType_ && adType_->isInterstitial()
                         ? platform::ui::Size()
                         : HRNCGSizeFromSizeString(*ad->customAdSizeString());
    }
    if (!adView_) return;
    adView_->scrollView()->setScrollEnabled(ad->isScrollEnabled());
    const std::string html = trimmed(ad->adHTML());
    if (html.empty()) {
        didFailToReceiveAdWithErrorShouldCancelPendingActions(
            HRNRequestError::errorWithCodeRequest(kHRNErrorNoFill, loadingRequest_.get()), false);
        return;
    }
    adView_->setAdDebugDialogString(ad->debugDialogString());
    adViewDelegate_->opener()->setAutoClickProtection(ad->autoClickProtection());
    willLoadAdHTMLInWebView();
    adView_->loadHTMLStringBaseURL(html, ad->adBaseURL());
    setViewForAdUsingView(adView_);
}

void HRNSlot::setViewForAdUsingView(const std::shared_ptr<platform::ui::View>& view) {
    auto delegate = slotDelegate();
    if (delegate) delegate->slotDidReceiveAdView(*this, view);
    if (newAdSize_ != platform::ui::Size()) {
        auto sizes = delegate ? delegate->validAdSizes() : std::nullopt;
        const HRNAdSize size = HRNAdSizeForCGSize(newAdSize_);
        if (sizes && validateAdResponseWithAdSizeAndValidAdSizes(size, *sizes)) {
            const platform::ui::Size current =
                adType_ ? HRNAdSizeToCGSize(adType_->adSize()) : platform::ui::Size();
            if (current != newAdSize_) delegate->slotWillResizeToAdSize(*this, size);
            delegate->setAdSizeAndReload(size, false);
            if (view == adView_)
                if (auto bounds = delegate->bounds()) adView_->setFrame(*bounds);
        }
    }
    newAdSize_ = platform::ui::Size();
}

bool HRNSlot::validateAdResponseWithAdSizeAndValidAdSizes(const HRNAdSize& size,
                                                          const platform::Array& validAdSizes) {
    for (const platform::Value& value : validAdSizes) {
        const HRNAdSize valid = HRNAdSizeFromNSValue(&value);
        if (!HRNAdSizeIsEqual(valid, kHRNAdSizeInvalid) && HRNAdSizeIsEqual(valid, size))
            return true;
    }
    return false;
}

void HRNSlot::processCustomRenderingAdResponse(const std::shared_ptr<HRNAd>& ad) {
    reloadable_ = false;
    deactivateReloadTimer();
    pendingCustomRenderingAd_ = ad;
    if (placement()) renderPendingCustomRenderingAd();
}

void HRNSlot::renderPendingCustomRenderingAd() {
    auto previous = ad_;
    auto pending = std::move(pendingCustomRenderingAd_);
    pendingCustomRenderingAd_.reset();
    finishedLoadingAdResponse(pending);
    if (auto delegate = slotDelegate()) {
        std::optional<platform::Error> error;
        auto answer =
            delegate->slotNotifyPublisherToRenderCustomRenderingAdError(*this, pending, &error);
        if (answer && *answer) return;
        ad_ = previous;
        adFailedToReceiveContentWithError(
            error ? *error
                  : HRNRequestError::errorWithCodeCustomMessage(
                        kHRNErrorInvalidArgument,
                        "Custom rendered ad could not be rendered by delegate."));
        return;
    }
    ad_ = previous;
    adFailedToReceiveContentWithError(HRNRequestError::errorWithCodeCustomMessage(
        kHRNErrorInvalidArgument, "Custom rendered ad could not be rendered by delegate."));
}

void HRNSlot::finishedLoadingAdResponse(const std::shared_ptr<HRNAd>& ad) {
    ad_ = ad;
    loadingAd_.reset();
    viewHasMadeImpression_ = false;
    finishViewabilityReporting();
}

void HRNSlot::startImpressionMonitoring() {
    if (adType_ && adType_->isInterstitial()) return;
    if (impressionMonitor_) impressionMonitor_->setDelegate({});
    if (!ad_ || !adView_) return;
    impressionMonitor_ = HRNImpressionMonitor::create(adView_, ad_->impressionDefinition());
    impressionMonitor_->setDelegate(weak_from_this());
    impressionMonitor_->startMonitoring();
}

void HRNSlot::sendCSIAdLoadTimings() {
    if (!adLoadActionTimeRecorder_) return;
    HRNCSIReporter reporter(HRNCSIConfiguration::defaultConfiguration());
    reporter.reportTimeRecorderCompletionBlock(adLoadActionTimeRecorder_, nullptr);
}

bool HRNSlot::isMRAIDEnabled() const {
    return ad_ && ad_->MRAIDEventHandler() != nullptr;
}

void HRNSlot::pingClickURLs() {
    if (ad_) ad_->pingClickURLs();
    if (auto delegate = slotDelegate()) delegate->slotDidReceiveAdClick(*this);
}

void HRNSlot::pingImpressionURLs() {
    if (ad_) ad_->pingImpressionURLs();
}

void HRNSlot::pingManualTrackingURLs() {
    if (ad_) ad_->pingManualImpressionURLs();
}

bool HRNSlot::isHeronAdURL(const platform::net::URL& url) const {
    std::vector<std::string> domains;
    if (auto setting = HRNSettingValue("as_domains"); setting && setting->string())
        for (std::string& domain : splitAtCommas(*setting->string()))
            if (!domain.empty()) domains.push_back(lowercased(domain));
    if (domains.empty())
        domains.assign(std::begin(kDefaultAdServerDomains), std::end(kDefaultAdServerDomains));
    const std::string host = lowercased(url.host());
    for (std::string domain : domains) {
        if (!domain.empty() && domain.front() == '.') domain.erase(0, 1);
        if (domain.empty()) continue;
        // Whole labels only: "evil-example.com" is not in "example.com".
        if (host == domain) return true;
        if (host.size() > domain.size() &&
            host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
            host[host.size() - domain.size() - 1] == '.')
            return true;
    }
    return false;
}

platform::net::URL HRNSlot::gestureClickURLWithURL(const platform::net::URL& url) {
    if (HRNNotification::isNotificationURL(url) || url.absoluteString() == "about:blank")
        return url;
    if (auto ticket = hrn_impressionTicket(url); ticket && ad_)
        ad_->statistics()->setObjectForKeyShouldNotifyDelegate(platform::Value(*ticket), "pit",
                                                               true);
    if (!url.query() || !isHeronAdURL(url)) return url;
    auto ai = hrn_parameterValueForKey(url, "ai");
    if (!ai || ai->empty()) return url;
    std::string entry;
    if (!HRNSignalsClickEntry(*ai, &entry)) return url;
    auto rewritten = hrn_URLByAppendingQueryParameters(url, platform::Dictionary{{entry, ""}});
    return rewritten.value_or(url);
}

void HRNSlot::scheduleAdReloadTimer() {
    deactivateReloadTimer();
    if (!reloadable_ || !slotHasAttemptedAnAdRequestAtLeastOnce_ || reloadInterval_ <= 0) return;
    std::weak_ptr<HRNSlot> weak = weak_from_this();
    reloadTimer_ = hrn_scheduledTimerWithTimeIntervalRepeatsToleranceBlock(
        reloadInterval_, false, 0.0, [weak](platform::Timer&) {
            if (auto slot = weak.lock()) slot->reloadCurrentRequest();
        });
}

void HRNSlot::deactivateReloadTimer() {
    if (reloadTimer_) reloadTimer_->invalidate();
    reloadTimer_.reset();
}

void HRNSlot::reloadCurrentRequest() {
    if (!reloadable_) return;
    auto delegate = slotDelegate();
    if (delegate && delegate->slotShouldReloadCurrentRequest(*this).value_or(false)) {
        loadNextRequestWithAutoRefresh(true);
    } else {
        scheduleAdReloadTimer();
    }
}

void HRNSlot::bannerDidMoveToWindow(const std::shared_ptr<platform::ui::View>& window) {
    if (!window) {
        if (viewabilityMonitor_) {
            viewabilityMonitor_->sample();
            viewabilityMonitor_->stopMonitoring();
        }
        platform::NotificationCenter::defaultCenter().post(kDidLeaveWindowNotification, this);
    } else if (viewabilityMonitor_) {
        viewabilityMonitor_->startMonitoring();
    }
}

void HRNSlot::interstitialViewWillAppear() {
    if (viewabilityMonitor_) viewabilityMonitor_->startMonitoring();
}

void HRNSlot::interstitialViewWillDisappear() {
    if (!viewabilityMonitor_) return;
    viewabilityMonitor_->sample();
    viewabilityMonitor_->stopMonitoring();
}
