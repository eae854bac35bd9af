#include "ads/formats/HRNInterstitial.h"

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Queue.h"

HRNInterstitial::HRNInterstitial(std::string adUnitID) : adUnitID_(std::move(adUnitID)) {}

std::shared_ptr<HRNInterstitial> HRNInterstitial::create(std::string adUnitID) {
    return std::make_shared<HRNInterstitial>(std::move(adUnitID));
}

void HRNInterstitial::loadRequest(const std::shared_ptr<HRNRequest>& request) {
    std::shared_ptr<HRNRequest> copy = request ? request->copy() : nullptr;
    std::weak_ptr<HRNInterstitial> weakSelf = weak_from_this();
    platform::Queue::main()->async([weakSelf, copy] {
        if (auto self = weakSelf.lock()) self->loadCopiedRequest(copy);
    });
}

void HRNInterstitial::loadCopiedRequest(const std::shared_ptr<HRNRequest>&) {
    // Ads are fetched by the ad slot, which the SDK does not have yet: the load ends as the
    // network error that a slot reports when it cannot reach the ad server.
    didFailToLoadAdContentWithError(HRNRequestError::errorWithCode(kHRNErrorNetworkError));
}

void HRNInterstitial::didFailToLoadAdContentWithError(const platform::Error& error) {
    std::weak_ptr<HRNInterstitial> weakSelf = weak_from_this();
    HRNDispatchToMainThread([weakSelf, error] {
        auto self = weakSelf.lock();
        if (!self) return;
        if (auto delegate = self->delegate())
            delegate->interstitialDidFailToReceiveAdWithError(self, error);
    });
}

bool HRNInterstitial::isReady() const {
    // Ready means the slot holds a loaded ad; without a slot nothing has loaded.
    return false;
}

void HRNInterstitial::presentFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>&) {
    // Only a ready interstitial is shown.
    if (!isReady())
        HRNLogger::sharedInstance()->logPublicMessage(
            "Cannot present interstitial. It is not ready.");
}
