#include "ads/rendering/views/HRNAdAppAdViewDelegate.h"

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNAdSize.h"
#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStatisticDictionary.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/messages/HRNSmallHMSGHandlers.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "platform/dispatch/Queue.h"

namespace {

void setLandingPageTime(const std::shared_ptr<HRNAdAppViewController>& controller,
                        const char* key,
                        bool onlyWhenAbsent) {
    auto slot = controller ? controller->slot() : nullptr;
    auto ad = slot ? slot->ad() : nullptr;
    if (!ad) return;
    auto statistics = ad->statistics();
    if (onlyWhenAbsent && statistics->objectForKeyedSubscript(key)) return;
    const auto now = static_cast<int64_t>(HRNAbsoluteTime::absoluteTimeInMilliseconds());
    statistics->setObjectForKeyShouldNotifyDelegate(platform::Value(now), key, true);
}

}  // namespace

std::shared_ptr<HRNAdAppAdViewDelegate> HRNAdAppAdViewDelegate::create(
    const std::shared_ptr<HRNAdAppViewController>& controller) {
    std::shared_ptr<HRNAdAppAdViewDelegate> delegate(new HRNAdAppAdViewDelegate(controller));
    delegate->addHMSGHandler(std::make_shared<HRNAdAppHMSGHandler>());
    auto slot = controller ? controller->slot() : nullptr;
    if (slot && slot->adType() && slot->adType()->isInterstitial())
        delegate->addHMSGHandler(std::make_shared<HRNAppEventHMSGHandler>(slot));
    return delegate;
}

bool HRNAdAppAdViewDelegate::adViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<HRNAdView>& adView,
    const platform::net::URLRequest& request,
    platform::web::NavigationType type) {
    // A page message is no click; and one ad's click is counted once, however many
    // navigations the page makes of it.
    if (type == platform::web::NavigationType::LinkClicked &&
        !HRNNotification::isNotificationURL(request.url) && !pingedClickURLs_) {
        auto setting = HRNSettingValue("disable_interstitial_click_ping_on_click_navigation");
        const bool disabled = setting && setting->isString() && setting->asString() == "1";
        if (!disabled) {
            pingedClickURLs_ = true;
            std::weak_ptr<HRNAdAppViewController> weak = controller_;
            platform::Queue::main()->async([weak] {
                auto controller = weak.lock();
                if (auto slot = controller ? controller->slot() : nullptr) slot->pingClickURLs();
            });
        }
    }
    return HRNAdViewDelegate::adViewShouldStartLoadWithRequestNavigationType(adView, request, type);
}

void HRNAdAppAdViewDelegate::adViewDidStartLoad(const std::shared_ptr<HRNAdView>& adView) {
    setLandingPageTime(controller_.lock(), "tlanding_page_load_start", true);
    HRNMRAIDInterceptor::enableCanInitWithRequest();
    HRNAdViewDelegate::adViewDidStartLoad(adView);
}

void HRNAdAppAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<HRNAdView>& adView) {
    setLandingPageTime(controller_.lock(), "tlanding_page_load_end", false);
    HRNMRAIDInterceptor::disableCanInitWithRequest();
    HRNAdViewDelegate::adViewDidFinishLoad(adView);
}

void HRNAdAppAdViewDelegate::adViewDidFailLoadWithError(const std::shared_ptr<HRNAdView>& adView,
                                                        const platform::Error& error) {
    HRNMRAIDInterceptor::disableCanInitWithRequest();
    HRNAdViewDelegate::adViewDidFailLoadWithError(adView, error);
}
