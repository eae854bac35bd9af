// The slot's mediation side. In this form the slot runs no mediation waterfall: a mediation
// answer fails the load as one without a usable adapter (running mediation answers comes with
// the SDK's mediation).

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"

bool HRNSlot::isMediating() const {
    return false;
}

bool HRNSlot::changeAdTypeTo(const std::shared_ptr<HRNAdType>&) {
    return false;
}

void HRNSlot::processMediationAdResponse(const std::shared_ptr<HRNAd>&) {
    willProcessMediationResponse();
    didFailToReceiveAdWithErrorShouldCancelPendingActions(
        HRNRequestError::errorWithCodeRequest(kHRNErrorMediationAdapterError,
                                              loadingRequest_.get()),
        false);
}
