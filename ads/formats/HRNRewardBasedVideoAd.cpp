#include "ads/formats/HRNRewardBasedVideoAd.h"

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/Queue.h"

std::shared_ptr<HRNRewardBasedVideoAd> HRNRewardBasedVideoAd::sharedInstance() {
    static const std::shared_ptr<HRNRewardBasedVideoAd> instance =
        std::make_shared<HRNRewardBasedVideoAd>();
    return instance;
}

void HRNRewardBasedVideoAd::loadRequestWithAdUnitID(const std::shared_ptr<HRNRequest>& request,
                                                    const std::string& adUnitID) {
    if (requestInProgress_) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Ignoring request. Another request is already in progress.");
        return;
    }
    requestInProgress_ = true;
    ready_ = false;
    fetchAdForRequestWithAdUnitID(request, adUnitID);
}

void HRNRewardBasedVideoAd::fetchAdForRequestWithAdUnitID(
    const std::shared_ptr<HRNRequest>& request,
    const std::string& adUnitID) {
    request_ = request;
    adUnitID_ = adUnitID;
    // The ad URL comes from the SDK-core page, which the SDK does not have yet: the load ends,
    // a run-loop turn later, as the network error of a core page that cannot be reached.
    std::weak_ptr<HRNRewardBasedVideoAd> weakSelf = weak_from_this();
    platform::Queue::main()->async([weakSelf] {
        if (auto self = weakSelf.lock())
            self->failedToLoadAdWithError(HRNRequestError::errorWithCode(kHRNErrorNetworkError));
    });
}

void HRNRewardBasedVideoAd::failedToLoadAdWithError(const platform::Error& error) {
    requestInProgress_ = false;
    ready_ = false;
    if (auto listener = delegate())
        listener->rewardBasedVideoAdDidFailToLoadWithError(shared_from_this(), error);
}

void HRNRewardBasedVideoAd::presentFromRootViewController(
    const std::shared_ptr<platform::ui::ViewController>&) {
    if (requestInProgress_ || !ready_) return;
    ready_ = false;
}
