// Ads that are an ad network's script, run in a page of their own. In this form such an ad
// fails its load as an answer that cannot be shown; rendering them (with passback and the
// rendering check) comes with the banner's ad-network rendering.

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"

void HRNSlot::loadAdNetworkJavaScriptRequest(const std::shared_ptr<HRNAd>&) {
    didFailToReceiveAdWithErrorShouldCancelPendingActions(
        HRNRequestError::errorWithCodeRequest(kHRNErrorReceivedInvalidResponse,
                                              loadingRequest_.get()),
        false);
}
