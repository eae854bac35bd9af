// The slot's mediation side: an ad of response type 2 is a mediation answer (JSON), which the
// slot decodes, checks against its own ad type and hands to its HRNMAdManager to run as a
// waterfall of ad networks; the winner's ad comes back through the slot's state and event
// operations like the SDK's own ads.

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/mediation/HRNMAdManager.h"
#include "ads/mediation/HRNMAdNetworkConnector.h"
#include "ads/mediation/HRNMConfig.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"

namespace {

std::string describe(const std::shared_ptr<HRNAdType>& type) {
    return type ? type->description() : "(null)";
}

}  // namespace

bool HRNSlot::isMediating() const {
    return ad_ && ad_->responseType() == kHRNAdResponseTypeMediation;
}

std::optional<std::string> HRNSlot::adNetworkClassName() const {
    if (state_ != 6) return std::nullopt;
    if (!isMediating()) return "HRNMAdapterHeronAds";
    const auto& received = mediationManager_->receivedConnector();
    if (!received || !received->networkConfig()) return std::nullopt;
    return received->networkConfig()->adapterClass();
}

bool HRNSlot::changeAdTypeTo(const std::shared_ptr<HRNAdType>& type) {
    const bool interstitial =
        (adType_ && adType_->isInterstitial()) || (type && type->isInterstitial());
    if (interstitial) return false;
    return mediationManager_->changeAdTypeTo(type);
}

void HRNSlot::presentMediatedInterstitialFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>& root) {
    if (isMediating() && adType_ && adType_->isInterstitial())
        mediationManager_->presentInterstitialFromRootViewController(root);
}

std::shared_ptr<platform::ui::ViewController> HRNSlot::viewControllerForPresentingModalView() {
    auto delegate = slotDelegate();
    return delegate ? delegate->rootViewController() : nullptr;
}

void HRNSlot::processMediationAdResponse(const std::shared_ptr<HRNAd>& ad) {
    auto self = shared_from_this();
    if (auto responseDelegate = adResponseDelegate()) {
        std::optional<platform::Error> error;
        if (!responseDelegate->slotShouldProcessMediatedAdResponseError(*this, ad, &error)) {
            if (error)
                didFailToReceiveAdWithErrorShouldCancelPendingActions(error, false);
            else
                didReceiveValidAd();
            return;
        }
        if (error) {
            didFailToReceiveAdWithErrorShouldCancelPendingActions(error, false);
            return;
        }
    }
    if (!ad || !ad->mediationDelegate()) {
        didFailToReceiveAdWithErrorShouldCancelPendingActions(
            HRNRequestError::errorWithCodeCustomMessage(
                kHRNErrorMediationDataError, "Current class not set up for processing mediation."),
            false);
        return;
    }

    willProcessMediationResponse();
    // A body that is no JSON reaches the answer's parser as nothing, which fails it (code 7).
    platform::Error decodingError;
    const std::optional<platform::Value> body =
        hrn_decodedJSONObjectError(ad->adHTML(), &decodingError);
    std::optional<platform::Error> error;
    auto config =
        HRNMConfig::initWithAppKeyConfigDictError(adUnitID_, body ? &*body : nullptr, &error);
    if (!config) {
        didFailToReceiveAdWithErrorShouldCancelPendingActions(
            error ? error
                  : std::optional<platform::Error>(
                        HRNRequestError::errorWithCode(kHRNErrorMediationDataError)),
            false);
        return;
    }

    finishedLoadingAdResponse(ad);
    if (ad->customAdSizeString()) setNewAdSize(HRNCGSizeFromSizeString(*ad->customAdSizeString()));

    std::shared_ptr<HRNAdType> type = adType_;
    const bool banner = type && !type->isInterstitial();
    if (banner && newAdSize_ != platform::ui::Size())
        type = HRNAdType::bannerAdTypeForSize(HRNAdSizeForCGSize(newAdSize_));
    if (!config->adType() || !config->adType()->isValid()) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Warning: mediated ad type is unknown or invalid. Resetting type to " + describe(type) +
            ".");
        config->setAdType(type);
    }
    requestAdWithTypeMediationConfig(type, config);
    if (banner) {
        setReloadInterval(config->refreshInterval());
        scheduleAdReloadTimer();
    }
}

void HRNSlot::requestAdWithTypeMediationConfig(const std::shared_ptr<HRNAdType>& type,
                                               const std::shared_ptr<HRNMConfig>& config) {
    mediationConfiguration_ = config;
    if (hasConsistentMediationConfigForAdType(type))
        mediationManager_->mediateForAdTypeConfig(type, config);
    else
        scheduleAdReloadTimer();
}

bool HRNSlot::hasConsistentMediationConfigForAdType(const std::shared_ptr<HRNAdType>& type) {
    const std::shared_ptr<HRNAdType> answered =
        mediationConfiguration_ ? mediationConfiguration_->adType() : nullptr;
    auto fail = [this](int64_t code, const std::string& message) {
        didFailToReceiveAdWithErrorShouldCancelPendingActions(
            HRNRequestError::errorWithCodeCustomMessage(code, message), false);
        return false;
    };
    if (!type)
        return fail(kHRNErrorInvalidRequest,
                    "Invalid requested HRNAdType: " + describe(type) + ".");
    if (!answered)
        return fail(kHRNErrorMediationDataError,
                    "Invalid mediation configuration HRNAdType: " + describe(answered) + ".");
    if (type->isInterstitial() && !answered->isInterstitial())
        return fail(kHRNErrorMediationInvalidAdSize,
                    "Unable to request an interstitial when mediation configuration was for " +
                        HRNAdSizeDescription(answered->adSize()) + ".");
    if (!type->isInterstitial() && answered->isInterstitial())
        return fail(kHRNErrorMediationInvalidAdSize,
                    "Unable to request " + HRNAdSizeDescription(type->adSize()) +
                        " when mediation configuration was for an interstitial.");
    if (type->isInterstitial()) return true;
    if (HRNAdSizeValidate(type->adSize(), nullptr)) return true;
    return fail(kHRNErrorMediationInvalidAdSize, "Unable to request ad with invalid size: " +
                                                     HRNAdSizeDescription(type->adSize()) + ".");
}
