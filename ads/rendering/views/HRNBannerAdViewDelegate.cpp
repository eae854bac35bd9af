#include "ads/rendering/views/HRNBannerAdViewDelegate.h"

#include <cctype>

#include "ads/formats/HRNAdSize.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNCSI.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/opener/HRNOpener.h"
#include "platform/net/URLRequest.h"

std::shared_ptr<HRNBannerAdViewDelegate> HRNBannerAdViewDelegate::create(
    std::weak_ptr<HRNSlot> slot) {
    auto delegate =
        std::shared_ptr<HRNBannerAdViewDelegate>(new HRNBannerAdViewDelegate(std::move(slot)));
    delegate->opener()->setSlot(delegate->slot_);
    delegate->addHMSGHandler(std::make_shared<HRNAppEventHMSGHandler>(delegate->slot_));
    delegate->addHMSGHandler(std::make_shared<HRNAdAppHMSGHandler>());
    delegate->addHMSGHandler(
        std::make_shared<HRNSwipeToViewControllerHMSGHandler>(delegate->slot_));
    delegate->addHMSGHandler(std::make_shared<HRNDelayPageLoadHMSGHandler>(delegate));
    return delegate;
}

bool HRNBannerAdViewDelegate::isClick(platform::web::NavigationType type) const {
    auto slot = this->slot();
    if (!slot) return false;
    const int64_t state = slot->state();
    if (state == 1 || state == 5 || state == 8) return false;
    if (type == platform::web::NavigationType::BackForward ||
        type == platform::web::NavigationType::Reload)
        return false;
    const auto loaded = slot->timeLastLoaded();
    const double now = static_cast<double>(HRNAbsoluteTime::absoluteTimeInMilliseconds());
    if (!loaded || (now - *loaded) / 1000.0 < 0.15) return false;
    return slot->adView() && slot->adView()->touched();
}

bool HRNBannerAdViewDelegate::adViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<HRNAdView>& adView,
    const platform::net::URLRequest& request,
    platform::web::NavigationType type) {
    auto slot = this->slot();
    if (slot && slot->adType() && !slot->adType()->isInterstitial() && adView)
        opener()->setViewController(adView->viewController());
    if (!isClick(type))
        return HRNAdViewDelegate::adViewShouldStartLoadWithRequestNavigationType(adView, request,
                                                                                 type);
    if (!HRNAdViewDelegate::adViewShouldStartLoadWithRequestNavigationType(adView, request, type))
        return false;
    // A click: reported to the slot and opened outside the ad view.
    if (adView)
        if (auto current = adView->request()) opener()->setReferringURL(current->url);
    slot->adWasClicked();
    const platform::net::URL clickURL = slot->gestureClickURLWithURL(request.url);
    std::string scheme = request.url.scheme();
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme.rfind("http", 0) == 0) opener()->openApp(clickURL);
    return false;
}

void HRNBannerAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) {
    loadFinished_ = true;
    if (loadDelayed_) return;
    HRNAdViewDelegate::adViewDidFinishLoad(adView);
    HRNCSI::sharedInstance()->recordTimestampForLabel("native:view_load");
    auto slot = this->slot();
    if (!slot || slot->state() != 5) return;
    slot->didReceiveValidAd();
    slot->didLoadAdHTMLInWebView();
    if (slot->adView()) slot->adView()->setHidden(false);
    slot->adFinishedLoadingContent();
}

void HRNBannerAdViewDelegate::adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>& adView,
                                                         const platform::Error& error) {
    HRNAdViewDelegate::adViewDidFailLoadWithError(adView, error);
    auto slot = this->slot();
    if (!slot || slot->state() == 6) return;
    slot->didFailToReceiveAdWithErrorShouldCancelPendingActions(
        HRNRequestError::errorWithCodeRequest(kHRNErrorNetworkError, slot->loadingRequest().get()),
        false);
}

void HRNBannerAdViewDelegate::adViewContentSizeDidChange(const std::shared_ptr<HRNAdView>&,
                                                         platform::ui::Size size) {
    if (auto slot = this->slot()) slot->updateContentSize(size);
}

void HRNBannerAdViewDelegate::loadHandlerDidChangeDelayFromTo(HRNDelayPageLoadHMSGHandler&,
                                                              int64_t from,
                                                              int64_t to) {
    if (from == 0 && to >= 1) {
        loadDelayed_ = true;
    } else if (from >= 1 && to == 0) {
        loadDelayed_ = false;
        auto slot = this->slot();
        if (loadFinished_ && slot && slot->adView()) adViewDidFinishLoad(slot->adView());
    }
}

void HRNBannerAdViewDelegate::loadHandlerDidCancel(HRNDelayPageLoadHMSGHandler&) {
    auto slot = this->slot();
    if (!slot || !slot->adView()) return;
    adViewDidFailLoadWithError(slot->adView(), platform::Error(platform::net::kURLErrorDomain,
                                                               platform::net::kURLErrorCancelled));
}
