// The slot as a requester of the SDK-core controller: the request parameters it sends to the
// SDK-core page (the request's own, plus the slot's identity, format and geometry, statistics
// and signals), the page's ad-URL answer turned into an ad to fetch, and the two failures.

#include <cstdio>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNCorrelator.h"
#include "ads/formats/HRNInterstitial.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNCrashReporter.h"
#include "ads/foundation/HRNLocationService.h"
#include "ads/foundation/HRNRectAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNTokenDispenser.h"
#include "ads/mediation/HRNSlotStatistics.h"
#include "ads/pipeline/HRNRequest.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "ads/rendering/views/HRNAdView.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using platform::Dictionary;
using platform::Value;

std::optional<double> doubleValue(const Dictionary& parameters, const char* key) {
    auto found = parameters.find(key);
    if (found == parameters.end()) return std::nullopt;
    if (found->second.isNumber()) return found->second.asReal();
    if (found->second.string()) {
        const char* text = found->second.string()->c_str();
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        if (end == text) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

}  // namespace

int64_t HRNSlot::requestedAdType() {
    auto delegate = slotDelegate();
    if (dynamic_cast<const HRNInterstitial*>(delegate.get())) return 2;
    return 0;
}

std::string HRNSlot::multipleAdSizeParameterFromSizes(const platform::Array& sizes) {
    std::string text;
    for (const Value& value : sizes) {
        const HRNAdSize size = HRNAdSizeFromNSValue(&value);
        if (HRNAdSizeIsEqual(size, kHRNAdSizeInvalid)) continue;
        const Value* type = value.find("objCType");
        if (!type) continue;
        char part[64];
        std::snprintf(part, sizeof part, "%lux%lu", static_cast<unsigned long>(size.size.width),
                      static_cast<unsigned long>(size.size.height));
        if (!text.empty()) text += "|";
        text += part;
    }
    return text;
}

std::optional<Dictionary> HRNSlot::requestParameters() {
    if (!loadingRequest_) return std::nullopt;
    Dictionary parameters = loadingRequest_->parameters();
    auto delegate = slotDelegate();
    auto application = HRNApplication::sharedInstance();
    const bool interstitial = adType_ && adType_->isInterstitial();

    if (correlator_ && correlator_->correlationID() != 0)
        parameters["correlation_id"] = static_cast<int64_t>(correlator_->correlationID());

    pendingAdStatistics_ = application->pendingAdStatistics();
    Dictionary quality;
    if (applicationStatistics_ && !applicationStatistics_->empty())
        quality["app"] = *applicationStatistics_;
    if (Dictionary slots = slotStats_->statistics(); !slots.empty())
        quality["slots"] = std::move(slots);
    if (loadingRequest_->privateMediationExtras() &&
        !loadingRequest_->privateMediationExtras()->empty())
        quality["request"] = *loadingRequest_->privateMediationExtras();
    platform::Array ads;
    ads.reserve(pendingAdStatistics_.size());
    for (const auto& statistics : pendingAdStatistics_)
        ads.emplace_back(statistics->dictionary());
    if (!ads.empty()) quality["ads"] = std::move(ads);
    if (!quality.empty()) parameters["quality_signals"] = std::move(quality);

    if (adUnitID_ && !adUnitID_->empty()) parameters["slotname"] = *adUnitID_;
    const HRNAdSize size = adType_ ? adType_->adSize() : kHRNAdSizeInvalid;
    const bool fluid = HRNAdSizeFluidFlagSet(size);
    if (!interstitial && fluid) {
        parameters["format"] = "320x50_mb";
        parameters["fluid"] = "height";
    }
    if (!interstitial && !fluid && delegate) {
        if (auto sizes = delegate->validAdSizes()) {
            const std::string text = multipleAdSizeParameterFromSizes(*sizes);
            if (!text.empty()) parameters["sz"] = text;
        }
    }
    if (!interstitial) {
        auto frame = delegate ? delegate->frame() : std::nullopt;
        auto bounds = delegate ? delegate->bounds() : std::nullopt;
        if (!frame && adView_) frame = adView_->frame();
        if (!bounds && adView_) bounds = adView_->bounds();
        if (frame) parameters["ad_frame"] = HRNCompactDictionaryFromRect(*frame);
        if (bounds) parameters["ad_bounds"] = HRNCompactDictionaryFromRect(*bounds);
    }
    if (interstitial) parameters["format"] = "interstitial_mb";
    if (HRNAdSizeFullWidthFlagSet(size)) {
        parameters["smart_w"] = "full";
        if (size.flags & kHRNAdSizeFlagSmart) parameters["smart_h"] = "auto";
    }
    if (requestID_) parameters["request_id"] = *requestID_;
    if (delegate)
        if (auto position = delegate->coordinatesOfContentInScreen(platform::ui::Screen::main()))
            parameters["ad_pos"] = *position;
    if (calledLoadAndDisplayRequest_) {
        parameters["cladr"] = "1";
        calledLoadAndDisplayRequest_ = false;
    }
    if (manualImpressionsEnabled_) parameters["d_imp_hdr"] = "1";
    if (delegate && delegate->hasInAppPurchaseDelegate()) parameters["iap_set"] = "1";
    auto useHTTPS = HRNSettingValue("use_https");
    if (!useHTTPS || HRNValueBoolValue(*useHTTPS)) parameters["force_https"] = "1";

    auto& defaults = platform::UserDefaults::standard();
    std::optional<std::string> fingerprint = application->fingerprintWithServedPenaltyDeduction();
    if (fingerprint) {
        defaults.set(HRNSettingKey("content_url_fingerprint"), *fingerprint);
    } else if (auto stored = HRNSettingValue("content_url_fingerprint");
               stored && stored->string()) {
        fingerprint = *stored->string();
    }
    if (fingerprint)
        parameters["content_info"] = Dictionary{{"fingerprint", *fingerprint}, {"v", 1}};

    if (auto token = HRNTokenDispenser::sharedInstance()->token()) {
        parameters["pan"] = Dictionary{{"token", *token}};
        parameters["force_https"] = "1";
    }
    if (auto keyDelegate = adKeyDelegate())
        if (auto hierarchy = keyDelegate->viewHierarchyInformationForSlot(*this))
            parameters["view_hierarchy"] = *hierarchy;
    if (auto experiments = HRNSettingValue("experiment_id_string");
        experiments && experiments->string())
        parameters["eid"] = *experiments->string();
    if (HRNSettingBoolValue("prefetch_enabled")) parameters["_forcePrefetch"] = "1";
    if (!HRNCrashReporter::sharedInstance()->reportingEnabled()) parameters["cre"] = "0";
    if (auto location = HRNLocationService::sharedInstance()->location())
        if (auto uule = location->dictionaryRepresentation()) parameters["uule"] = *uule;
    return parameters;
}

void HRNSlot::loadAdURLWithParameters(const Dictionary& parameters) {
    didReceiveAdURL();
    if (parameters.count("errors")) {
        didFailToReceiveAdWithErrorShouldCancelPendingActions(
            HRNRequestError::errorWithCodeRequest(kHRNErrorInvalidRequest, loadingRequest_.get()),
            false);
        return;
    }
    auto statistics = HRNApplication::sharedInstance()->statistics();
    std::string scenario;
    if (auto found = parameters.find("request_scenario");
        found != parameters.end() && found->second.string())
        scenario = *found->second.string();
    auto copySequenceNumber = [&statistics] {
        statistics->setObjectForKeyedSubscript(statistics->objectForKeyedSubscript("seq_num"),
                                               "losn");
    };
    if (scenario == "offline_empty") {
        statistics->incrementNumberForKeyShouldNotifyDelegate("oar", false);
        copySequenceNumber();
    } else if (scenario == "offline_buffer") {
        statistics->incrementNumberForKeyShouldNotifyDelegate("bas_off", false);
        statistics->incrementNumberForKeyShouldNotifyDelegate("oar", false);
        copySequenceNumber();
    } else if (scenario == "online_buffer") {
        statistics->incrementNumberForKeyShouldNotifyDelegate("bas_on", false);
    }

    auto ad = std::make_shared<HRNAd>();
    if (auto url = parameters.find("url"); url != parameters.end() && url->second.string())
        ad->setAdURL(platform::net::URL::parse(*url->second.string()));
    bool protection = false;
    if (auto found = parameters.find("enable_auto_click_protection"); found != parameters.end())
        protection = HRNValueBoolValue(found->second);
    ad->setAutoClickProtection(std::make_shared<HRNAutoClickProtection>(protection));
    auto width = doubleValue(parameters, "interstitial_size_width");
    auto height = doubleValue(parameters, "interstitial_size_height");
    if (width && height) ad->setSize(platform::render::Size{*width, *height});
    if (auto threshold = doubleValue(parameters, "cropped_content_threshold"))
        ad->setCroppedContentThreshold(*threshold);
    loadAdHeaders(ad, {});
}

void HRNSlot::invalidJavaScriptRequest() {
    didFailToReceiveAdWithErrorShouldCancelPendingActions(
        HRNRequestError::errorWithCodeRequest(kHRNErrorInvalidRequest, loadingRequest_.get()),
        false);
}

void HRNSlot::failedJavaScriptFile() {
    didFailToRetrieveSDKCoreWithError(HRNRequestError::errorWithCode(kHRNErrorNetworkError));
}

void HRNSlot::requestDidTimeOut() {
    didFailToReceiveAdWithErrorShouldCancelPendingActions(
        HRNRequestError::errorWithCodeRequest(kHRNErrorTimeout, loadingRequest_.get()), false);
}
