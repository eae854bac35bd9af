#include "ads/formats/HRNAd.h"

#include <algorithm>

#include "ads/formats/HRNAdSize.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNClickTrackerCollection.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/rendering/opener/HRNSwipeToViewControllerConfigurations.h"
#include "ads/rendering/views/HRNOrientation.h"

namespace {

using platform::Dictionary;
using platform::Value;

void addUnique(std::vector<platform::net::URL>& set, const std::vector<platform::net::URL>& urls) {
    for (const auto& url : urls)
        if (std::find(set.begin(), set.end(), url) == set.end()) set.push_back(url);
}

const Value* find(const Dictionary& dictionary, const char* key) {
    auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : &found->second;
}

std::optional<platform::net::URL> URLOf(const Value* value) {
    if (!value || !value->string()) return std::nullopt;
    return platform::net::URL::parse(*value->string());
}

// The value read as a number the way a property of any kind answers doubleValue: a number, or a
// text that begins with one. std::nullopt for anything else.
std::optional<double> doubleValue(const Value* value) {
    if (!value) return std::nullopt;
    if (value->isNumber()) return value->asReal();
    if (value->string()) {
        const std::string& text = *value->string();
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        return end == text.c_str() ? 0.0 : number;
    }
    return std::nullopt;
}

std::vector<platform::net::URL> URLsOf(const Value* value) {
    std::vector<platform::net::URL> urls;
    if (!value || !value->array()) return urls;
    for (const Value& element : *value->array())
        if (auto url = URLOf(&element)) urls.push_back(*url);
    return urls;
}

}  // namespace

HRNAd::HRNAd()
    : statistics_(HRNStatisticDictionary::createWithDelegate(HRNApplication::sharedInstance())) {}

HRNAd::~HRNAd() = default;

std::shared_ptr<HRNAd> HRNAd::initWithDictionary(const Dictionary& dictionary) {
    return makeWithDictionary<HRNAd>(dictionary);
}

void HRNAd::applyDictionary(const Dictionary& d) {
    // Markup and its base URL, or the URL to fetch the markup from.
    const Value* html = find(d, "ad_html");
    auto base = URLOf(find(d, "ad_base_url"));
    if (base && html && html->string() && !html->string()->empty()) {
        adHTML_ = *html->string();
        adBaseURL_ = base;
    } else {
        adURL_ = URLOf(find(d, "ad_url"));
    }
    if (const Value* json = find(d, "ad_json"); json && json->dictionary() && adHTML_.empty()) {
        platform::Error error;
        auto text = hrn_JSONStringPretty(*json->dictionary(), false, &error);
        adHTML_ = text.value_or("");
    }
    if (const Value* size = find(d, "ad_size"); size && size->string())
        size_ = HRNCGSizeFromSizeString(*size->string());
    if (const Value* orientation = find(d, "orientation"); orientation && orientation->string())
        if (uint64_t mask = HRNInterfaceOrientationMaskFromString(*orientation->string()))
            supportedOrientations_ = mask;
    if (const Value* script = find(d, "ad_is_javascript"); script && script->isNumber())
        hasAdNetworkJavaScript_ = script->asReal() != 0;
    if (hasAdNetworkJavaScript_) adNetworkPassbackURL_ = URLOf(find(d, "ad_passback_url"));
    if (const Value* dialog = find(d, "debug_dialog"); dialog && dialog->string())
        debugDialogString_ = *dialog->string();
    if (const Value* viewability = find(d, "viewability"); viewability && viewability->dictionary())
        viewabilityConfigurations_ = *viewability;
    if (const Value* displayed = find(d, "use_displayed_impression");
        displayed && HRNValueBoolValue(*displayed))
        impressionDefinition_ = 1;
    if (const Value* swipe = find(d, "swipe_to_viewcontroller");
        swipe && swipe->dictionary() && !swipe->dictionary()->empty())
        swipeToViewControllerConfigurations_ =
            HRNSwipeToViewControllerConfigurations::initWithSwipeConfigurations(
                *swipe->dictionary());
    addClickURLsFromArray(URLsOf(find(d, "click_urls")));
    addImpressionURLsFromArray(URLsOf(find(d, "impression_urls")));
    addManualImpressionURLsFromArray(URLsOf(find(d, "manual_impression_urls")));
    if (const Value* protection = find(d, "auto_protection_configuration");
        protection && protection->dictionary()) {
        autoClickProtection_ =
            HRNAutoClickProtection::initWithDictionary(*protection->dictionary());
    } else {
        const Value* enabled = find(d, "_native_sdk_auto_protection");
        autoClickProtection_ =
            std::make_shared<HRNAutoClickProtection>(enabled && HRNValueBoolValue(*enabled));
    }
    auto width = doubleValue(find(d, "_native_interstitial_size_width"));
    auto height = doubleValue(find(d, "_native_interstitial_size_height"));
    if (width && height) size_ = platform::render::Size{*width, *height};
    if (auto threshold = doubleValue(find(d, "_native_cropped_content_threshold")))
        croppedContentThreshold_ = *threshold;
}

void HRNBannerAd::applyDictionary(const Dictionary& dictionary) {
    HRNAd::applyDictionary(dictionary);
    if (const Value* rate = find(dictionary, "refresh_rate"); rate && rate->isNumber())
        setReloadInterval(rate->asReal());
}

void HRNAd::addClickURLsFromArray(const std::vector<platform::net::URL>& urls) {
    addUnique(clickURLs_, urls);
}

void HRNAd::addImpressionURLsFromArray(const std::vector<platform::net::URL>& urls) {
    addUnique(impressionURLs_, urls);
}

void HRNAd::addManualImpressionURLsFromArray(const std::vector<platform::net::URL>& urls) {
    addUnique(manualImpressionURLs_, urls);
}

void HRNAd::pingClickURLs() {
    if (clickURLs_.empty()) return;
    HRNClickTrackerCollection::sharedInstance()->trackURLsCacheEnabled(clickURLs_, false);
}

void HRNAd::pingImpressionURLs() {
    if (impressionURLs_.empty()) return;
    auto urls = std::move(impressionURLs_);
    impressionURLs_.clear();
    HRNClickTrackerCollection::sharedInstance()->trackURLsCacheEnabled(urls, false);
}

void HRNAd::pingManualImpressionURLs() {
    if (manualImpressionURLs_.empty()) return;
    auto urls = std::move(manualImpressionURLs_);
    manualImpressionURLs_.clear();
    HRNClickTrackerCollection::sharedInstance()->trackURLsCacheEnabled(urls, false);
}
