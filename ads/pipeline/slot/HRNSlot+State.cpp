// The slot's lifecycle state: the only place where it changes, with the statistics and timing
// of each step, and the switch of the MRAID script interception.

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNCSITimeRecorder.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/views/HRNAdView.h"

void HRNSlot::setState(int64_t state) {
    if (state == state_ || state_ == 8) return;
    if (state_ == 0 && state == 2 && !holdsMRAIDInterception_) {
        HRNMRAIDInterceptor::enableCanInitWithRequest();
        holdsMRAIDInterception_ = true;
    } else if (state == 1 || state == 6 || state == 7 || state == 8) {
        releaseMRAIDInterception();
    }
    state_ = state;
}

void HRNSlot::releaseMRAIDInterception() {
    if (!holdsMRAIDInterception_) return;
    holdsMRAIDInterception_ = false;
    HRNMRAIDInterceptor::disableCanInitWithRequest();
}

void HRNSlot::resetState() {
    // A load that a newer one cancels while it runs no longer needs the script served.
    if (state_ >= 2 && state_ <= 5) releaseMRAIDInterception();
    setState(0);
}

void HRNSlot::resetRequestState() {
    // Within one load (an ad URL about to be fetched): the load goes on, and so does serving
    // the script.
    if (ad_)
        if (auto handler = ad_->MRAIDEventHandler()) handler->MRAIDAdDidUnload();
    ad_.reset();
    setState(0);
}

void HRNSlot::invalidateState() {
    setState(8);
}

void HRNSlot::willRequestAdURL() {
    setState(2);
    applicationStatistics_ =
        HRNApplication::sharedInstance()->nextRequestStatisticsDictionaryForSlot(isMediating());
}

void HRNSlot::didFailToRetrieveSDKCoreWithError(const platform::Error& error) {
    setState(1);
    adFailedToReceiveContentWithError(error);
}

void HRNSlot::didReceiveAdURL() {
    setState(3);
}

void HRNSlot::willFetchAdContent() {
    setState(4);
    if (!loadingAd_) return;
    const auto now = static_cast<int64_t>(HRNAbsoluteTime::absoluteTimeInMilliseconds());
    auto statistics = loadingAd_->statistics();
    platform::Value treq(now);
    if (applicationStatistics_)
        if (auto currts = applicationStatistics_->find("currts");
            currts != applicationStatistics_->end())
            treq = currts->second;
    statistics->setObjectForKeyShouldNotifyDelegate(treq, "treq", false);
    statistics->setObjectForKeyShouldNotifyDelegate(platform::Value(now), "tfetch", false);
    if (adUnitID_)
        statistics->setObjectForKeyShouldNotifyDelegate(platform::Value(*adUnitID_), "slotid",
                                                        false);
    if (applicationStatistics_)
        if (auto sequence = applicationStatistics_->find("seq_num");
            sequence != applicationStatistics_->end())
            statistics->setObjectForKeyShouldNotifyDelegate(sequence->second, "seq_num", false);
}

void HRNSlot::didFetchAdContent() {
    const auto now = static_cast<int64_t>(HRNAbsoluteTime::absoluteTimeInMilliseconds());
    if (loadingAd_)
        loadingAd_->statistics()->setObjectForKeyShouldNotifyDelegate(platform::Value(now),
                                                                      "tresponse", false);
    auto statistics = HRNApplication::sharedInstance()->statistics();
    for (const char* key : {"oar", "bas_on", "bas_off"})
        statistics->setObjectForKeyShouldNotifyDelegate(platform::Value(int64_t{0}), key, false);
}

void HRNSlot::willProcessMediationResponse() {
    if (loadingAd_)
        loadingAd_->statistics()->setObjectForKeyShouldNotifyDelegate(platform::Value(true),
                                                                      "ismediation", true);
    setState(4);
}

void HRNSlot::willStartAdRendering() {
    setState(5);
}

void HRNSlot::willLoadAdHTMLInWebView() {
    willStartAdRendering();
}

void HRNSlot::didLoadAdHTMLInWebView() {
    finishedLoadingAdResponse(loadingAd_);
    if (adView_) adView_->setTouched(false);
    const auto now = static_cast<int64_t>(HRNAbsoluteTime::absoluteTimeInMilliseconds());
    if (ad_)
        ad_->statistics()->setObjectForKeyShouldNotifyDelegate(platform::Value(now), "tload", true);
    timeLastLoaded_ = static_cast<double>(now);
    postVolumeNotification();
}

void HRNSlot::didReceiveValidAd() {
    if (adLoadActionTimeRecorder_) {
        adLoadActionTimeRecorder_->endTimingVariableWithName("awr_ios");
        adLoadActionTimeRecorder_->endTimingVariableWithName("ttc_ios");
    }
    sendCSIAdLoadTimings();
    setState(6);
    pendingAdStatistics_.clear();
}

void HRNSlot::didFailToReceiveAdWithErrorShouldCancelPendingActions(
    const std::optional<platform::Error>& error,
    bool cancel) {
    auto keep = weak_from_this().lock();
    if (cancel) cancelPendingActions();
    const platform::Error reported =
        error ? *error : HRNRequestError::errorWithCode(kHRNErrorInternalError);
    if (adLoadActionTimeRecorder_) {
        adLoadActionTimeRecorder_->cancelTimingVariableWithName("awr_ios");
        adLoadActionTimeRecorder_->cancelTimingVariableWithName("ttc_ios");
        adLoadActionTimeRecorder_->setCustomizedParameterValueForKey(
            platform::Value(reported.localizedDescription()), "rqe");
    }
    sendCSIAdLoadTimings();
    setState(7);
    loadingAd_.reset();
    HRNApplication::sharedInstance()->didNotSendAdStatistics(pendingAdStatistics_);
    pendingAdStatistics_.clear();
    adFailedToReceiveContentWithError(reported);
}

void HRNSlot::didMakeAdImpression() {
    HRNApplication::sharedInstance()->statistics()->incrementNumberForKeyShouldNotifyDelegate(
        "pimp", false);
    pingImpressionURLs();
    viewHasMadeImpression_ = true;
    startViewabilityReportingIfEnabled();
}

void HRNSlot::willLeaveAppDueToClick() {
    if (ad_)
        ad_->statistics()->setObjectForKeyShouldNotifyDelegate(platform::Value(true), "pclb",
                                                               false);
}
