#include "ads/formats/HRNRewardBasedVideoAd.h"

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNExtras.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNErrorAdditions.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Queue.h"

std::shared_ptr<HRNRewardBasedVideoAd> HRNRewardBasedVideoAd::sharedInstance() {
    // Lives for the whole process: never destroyed, so an ad it still holds at exit does not
    // outlive the web views and queues it stands on.
    static const auto* instance =
        new std::shared_ptr<HRNRewardBasedVideoAd>(std::make_shared<HRNRewardBasedVideoAd>());
    return *instance;
}

void HRNRewardBasedVideoAd::loadRequestWithAdUnitID(const std::shared_ptr<HRNRequest>& request,
                                                    const std::string& adUnitID) {
    if (requestInProgress_) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Ignoring request. Another request is already in progress.");
        return;
    }
    ad_.reset();
    requestInProgress_ = true;
    ready_ = false;
    const uint64_t generation = ++loadGeneration_;
    std::weak_ptr<HRNRewardBasedVideoAd> weakSelf = weak_from_this();
    if (loadTimer_) loadTimer_->invalidate();
    loadTimer_ =
        platform::Timer::scheduled(kLoadTimeout, false, [weakSelf, generation](platform::Timer&) {
            auto self = weakSelf.lock();
            if (!self || !self->requestInProgress_ || self->loadGeneration_ != generation) return;
            // Whatever still runs of this load no longer reports.
            self->adFetcher_.reset();
            self->stopMediationRun();
            if (self->interstitial_) self->interstitial_->setDelegate({});
            self->interstitial_.reset();
            self->failedToLoadAdWithError(
                HRNRequestError::errorWithCodeRequest(kHRNErrorTimeout, self->request_.get()));
        });
    // Results reach the delegate on a later turn, never from inside this call.
    std::shared_ptr<HRNRequest> copy = request ? request->copy() : HRNRequest::request();
    platform::Queue::main()->async([weakSelf, copy, adUnitID, generation] {
        auto self = weakSelf.lock();
        if (self && self->requestInProgress_ && self->loadGeneration_ == generation)
            self->fetchAdForRequestWithAdUnitID(copy, adUnitID);
    });
}

void HRNRewardBasedVideoAd::fetchAdForRequestWithAdUnitID(
    const std::shared_ptr<HRNRequest>& request,
    const std::string& adUnitID) {
    request_ = request;
    adUnitID_ = adUnitID;
    const platform::Dictionary extras = request_->networkExtrasAdditionalParameters();
    if (auto preset = extras.find("_ad"); preset != extras.end() && preset->second.dictionary()) {
        auto ad = HRNAd::initWithDictionary(*preset->second.dictionary());
        if (ad && !ad->adHTML().empty()) {
            platform::Dictionary headers;
            if (auto given = extras.find("_adHeaders");
                given != extras.end() && given->second.dictionary())
                headers = *given->second.dictionary();
            loadAdHeaders(ad, headers);
            return;
        }
        if (ad && ad->adURL()) {
            loadAdURLWithParameters(platform::Dictionary{{"url", ad->adURL()->absoluteString()}});
            return;
        }
    }
    HRNSDKCoreController::sharedInstance()->buildAdURL(shared_from_this());
}

std::optional<platform::Dictionary> HRNRewardBasedVideoAd::requestParameters() {
    platform::Dictionary parameters = request_ ? request_->parameters() : platform::Dictionary();
    if (!adUnitID_.empty()) parameters["slotname"] = adUnitID_;
    parameters["rbv"] = "1";
    if (requestID_) parameters["request_id"] = *requestID_;
    parameters["format"] = "reward_mb";
    return parameters;
}

void HRNRewardBasedVideoAd::loadAdURLWithParameters(const platform::Dictionary& parameters) {
    if (!requestInProgress_) return;
    if (parameters.count("errors")) {
        failedToLoadAdWithError(
            HRNRequestError::errorWithCodeRequest(kHRNErrorInvalidRequest, request_.get()));
        return;
    }
    auto found = parameters.find("url");
    std::optional<platform::net::URL> url;
    if (found != parameters.end() && found->second.string())
        url = platform::net::URL::parse(*found->second.string());
    auto ad = std::make_shared<HRNAd>();
    ad->setAdURL(url);
    bool protection = false;
    if (auto flag = parameters.find("enable_auto_click_protection"); flag != parameters.end())
        protection = HRNValueBoolValue(flag->second);
    ad->setAutoClickProtection(std::make_shared<HRNAutoClickProtection>(protection));
    startFetch(ad, {});
}

void HRNRewardBasedVideoAd::loadAdHeaders(const std::shared_ptr<HRNAd>& ad,
                                          const platform::Dictionary& headers) {
    if (!requestInProgress_) return;
    startFetch(ad, headers);
}

void HRNRewardBasedVideoAd::startFetch(const std::shared_ptr<HRNAd>& ad,
                                       const platform::Dictionary& headers) {
    adFetcher_ = HRNAdFetcher::create();
    platform::Error error;
    if (!adFetcher_->fetchRemainingContentForAdHeadersDelegateError(ad, headers, weak_from_this(),
                                                                    &error)) {
        adFetcher_.reset();
        failedToLoadAdWithError(error);
    }
}

void HRNRewardBasedVideoAd::invalidJavaScriptRequest() {
    if (!requestInProgress_) return;
    failedToLoadAdWithError(HRNRequestError::errorWithCodeCustomMessage(
                                kHRNErrorInvalidRequest, "Request object configured wrong.")
                                .error());
}

void HRNRewardBasedVideoAd::failedJavaScriptFile() {
    if (!requestInProgress_) return;
    failedToLoadAdWithError(
        HRNRequestError::errorWithCodeCustomMessage(kHRNErrorNetworkError, "No network connection.")
            .error());
}

void HRNRewardBasedVideoAd::adFetcherDidFetchAd(HRNAdFetcher& fetcher,
                                                const std::shared_ptr<HRNAd>& ad) {
    if (&fetcher != adFetcher_.get()) return;
    ad_ = ad;
    adFetcher_.reset();
    loadAd(ad);
}

void HRNRewardBasedVideoAd::adFetcherDidFailToFetchAdWithErrorResponseCode(
    HRNAdFetcher& fetcher,
    const std::shared_ptr<HRNAd>&,
    const HRNRequestError& error,
    int64_t) {
    if (&fetcher != adFetcher_.get()) return;
    adFetcher_.reset();
    failedToLoadAdWithError(error);
}

void HRNRewardBasedVideoAd::loadAd(const std::shared_ptr<HRNAd>& ad) {
    const int64_t type = ad ? ad->responseType() : kHRNAdResponseTypeInvalid;
    if (type == kHRNAdResponseTypeHTML) {
        loadInterstitialWithAd(ad);
    } else if (type == kHRNAdResponseTypeMediation) {
        processMediationAd(ad);
    } else {
        failedToLoadAdWithError(hrn_errorWithCode(kHRNErrorInternalError, "Invalid ad response."));
    }
}

void HRNRewardBasedVideoAd::loadInterstitialWithAd(const std::shared_ptr<HRNAd>& ad) {
    if (!ad || ad->adHTML().empty() || !ad->adBaseURL()) {
        failedToLoadAdWithError(
            hrn_errorWithCode(kHRNErrorInternalError, "Invalid ad response received."));
        return;
    }
    // The ad itself travels as the request's preset ad, so the ad server is not asked again.
    auto extras = std::make_shared<HRNExtras>(
        platform::Dictionary{{"_adHeaders", platform::Value(ad->responseHeaders())}});
    extras->setAd(ad);
    auto request = HRNRequest::request();
    request->registerAdNetworkExtras(extras);
    loadInterstitialWithAdRequest(request);
}

void HRNRewardBasedVideoAd::loadInterstitialWithAdRequest(
    const std::shared_ptr<HRNRequest>& request) {
    if (interstitial_) interstitial_->setDelegate({});
    interstitial_ = HRNInterstitial::create(adUnitID_);
    interstitial_->setDelegate(weak_from_this());
    interstitial_->loadRequest(request);
}

void HRNRewardBasedVideoAd::adLoadedSuccessfully() {
    if (loadTimer_) loadTimer_->invalidate();
    loadTimer_.reset();
    requestInProgress_ = false;
    ready_ = true;
    if (auto listener = delegate()) listener->rewardBasedVideoAdDidReceiveAd(shared_from_this());
}

void HRNRewardBasedVideoAd::failedToLoadAdWithError(const platform::Error& error) {
    if (loadTimer_) loadTimer_->invalidate();
    loadTimer_.reset();
    requestInProgress_ = false;
    ready_ = false;
    if (auto listener = delegate())
        listener->rewardBasedVideoAdDidFailToLoadWithError(shared_from_this(), error);
}

void HRNRewardBasedVideoAd::presentFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& root) {
    if (requestInProgress_ || !ready_) return;
    if (ad_ && ad_->responseType() == kHRNAdResponseTypeHTML && interstitial_)
        interstitial_->presentFromRootViewController(root);
    ready_ = false;
    if (ad_ && ad_->responseType() == kHRNAdResponseTypeMediation)
        presentMediatedRewardBasedVideoAdFromViewController(root);
}

// ---- The internal interstitial ----

void HRNRewardBasedVideoAd::interstitialDidReceiveAd(
    const std::shared_ptr<HRNInterstitial>& interstitial) {
    if (isCurrentInterstitial(interstitial) && requestInProgress_) adLoadedSuccessfully();
}

void HRNRewardBasedVideoAd::interstitialDidFailToReceiveAdWithError(
    const std::shared_ptr<HRNInterstitial>& interstitial,
    const platform::Error& error) {
    if (isCurrentInterstitial(interstitial) && requestInProgress_) failedToLoadAdWithError(error);
}

void HRNRewardBasedVideoAd::interstitialWillPresentScreen(
    const std::shared_ptr<HRNInterstitial>& interstitial) {
    if (!isCurrentInterstitial(interstitial)) return;
    if (auto listener = delegate()) listener->rewardBasedVideoAdDidOpen(shared_from_this());
}

void HRNRewardBasedVideoAd::interstitialDidDismissScreen(
    const std::shared_ptr<HRNInterstitial>& interstitial) {
    if (!isCurrentInterstitial(interstitial)) return;
    if (auto listener = delegate()) listener->rewardBasedVideoAdDidClose(shared_from_this());
}

void HRNRewardBasedVideoAd::interstitialWillLeaveApplication(
    const std::shared_ptr<HRNInterstitial>& interstitial) {
    if (!isCurrentInterstitial(interstitial)) return;
    if (auto listener = delegate())
        listener->rewardBasedVideoAdWillLeaveApplication(shared_from_this());
}

void HRNRewardBasedVideoAd::interstitialDidReceiveAdClick(
    const std::shared_ptr<HRNInterstitial>& interstitial) {
    if (!isCurrentInterstitial(interstitial)) return;
    auto listener = std::dynamic_pointer_cast<HRNRewardBasedVideoAdClickDelegate>(delegate());
    if (listener) listener->rewardBasedVideoAdDidReceiveAdClick(shared_from_this());
}

void HRNRewardBasedVideoAd::interstitialDidStartPlayingRewardBasedVideoAd(
    const std::shared_ptr<HRNInterstitial>& interstitial) {
    if (!isCurrentInterstitial(interstitial)) return;
    if (auto listener = delegate()) listener->rewardBasedVideoAdDidStartPlaying(shared_from_this());
}

void HRNRewardBasedVideoAd::interstitialDidRewardUserWithReward(
    const std::shared_ptr<HRNInterstitial>& interstitial,
    const std::shared_ptr<const HRNAdReward>& reward) {
    if (!isCurrentInterstitial(interstitial)) return;
    if (auto listener = delegate())
        listener->rewardBasedVideoAdDidRewardUserWithReward(shared_from_this(), reward);
}
