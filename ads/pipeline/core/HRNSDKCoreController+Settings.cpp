// The SDK's settings: the constants the SDK-core page answers "HSDK_getSdkConstants" with are
// stored in the user defaults under "/heron/ads/" + name, where every part of the SDK reads
// them, or handed straight to the objects that use them.

#include <cstdlib>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNCharacterSets.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNLocationService.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNTokenDispenser.h"
#include "ads/pipeline/HRNMRAIDInterceptor.h"
#include "ads/pipeline/core/HRNSDKCoreController.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

// The plain settings, stored as received, in this order.
constexpr const char* kPlainSettings[] = {
    "bad_ad_report_path",
    "use_cancelled_url_error",
    "as_domains",
    "iap_equivalent_classes",
    "iap_report_format",
    "iap_retry_suffix",
    "native_ad_support_url",
    "banner_prevent_autoplay",
    "web_view_cache_max_capacity",
    "ad_key_parent_view_count",
    "enable_signed_in_ads",
    "foreground_ping_enabled",
    "foreground_ping_delay",
    "foreground_ping_url",
    "volume_view",
    "minimum_signed_in_ads_token_lifespan",
    "bg_reload_enabled",
    "content_age_weight",
    "content_length_weight",
    "space_delimited_unicode_range",
    "minimum_paragraph_length",
    "maximum_shingle_count",
    "content_queue_maximum_capacity",
    "shingle_length",
    "traversal_interval",
    "character_delimited_unicode_range",
    "csi_request_batch_size",
    "csi_reporting_probability",
    "csi_reporting_interval",
    "csi_reporting_url",
    "native-indiscriminate-recognition",
    "disable_interstitial_click_ping_on_click_navigation",
    "url_time_to_live",
    "maximum_retry_url_count",
    "ping_interval",
    "prefetch_enabled",
    "deeplinkplus_enabled",
    "hads:interstitial_ad_pool:enabled",
    "hads:interstitial_ad_pool:max_pools",
    "hads:interstitial_ad_pool:max_pool_depth",
    "hads:interstitial_ad_pool:time_limit_sec",
    "view_controller_only_supports_application_orientation",
    "application_supports_split_screen",
    "enable_in_app_preview_dialog",
    "in_app_preview_url",
    "enable_native_advanced_debug_options_gesture",
    "enable_refresh_hmsg_protection",
};

std::optional<std::string> text(const Dictionary& constants, const std::string& name) {
    auto found = constants.find(name);
    if (found == constants.end()) return std::nullopt;
    if (found->second.string()) return *found->second.string();
    return platform::json::serialize(found->second);
}

std::optional<Value> decodedJSON(const Dictionary& constants, const char* name) {
    auto value = text(constants, name);
    if (!value) return std::nullopt;
    platform::Error error;
    return hrn_decodedJSONObjectError(*value, &error);
}

std::vector<std::string> splitSettingAtCommas(const std::string& value) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = value.find(',', start);
        parts.push_back(
            value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

// The entries whose key and value are both texts; stored when there is at least one.
void storeStringDictionary(const Dictionary& constants, const char* name) {
    auto decoded = decodedJSON(constants, name);
    if (!decoded || !decoded->dictionary()) return;
    Dictionary kept;
    for (const auto& [key, value] : *decoded->dictionary())
        if (value.string()) kept[key] = *value.string();
    if (!kept.empty()) platform::UserDefaults::standard().set(HRNSettingKey(name), kept);
}

}  // namespace

void HRNSDKCoreController::storeSDKConstants(const Dictionary& constants) {
    auto& defaults = platform::UserDefaults::standard();

    HRNMRAIDInterceptor::setBannerImplementationPath(text(constants, "mraid_banner_path"));
    HRNMRAIDInterceptor::setInterstitialImplementationPath(
        text(constants, "mraid_interstitial_path"));
    HRNMRAIDInterceptor::setExpandedBannerImplementationPath(
        text(constants, "mraid_expanded_banner_path"));

    if (auto size = text(constants, "viewability_unload_cache_size")) {
        const long long value = std::strtoll(size->c_str(), nullptr, 10);
        if (value != 0) setViewabilityUnloadCacheMaxSize(static_cast<uint64_t>(value));
    }
    setUseNewWebViewsForViewabilityProcessing(HRNValueBoolValue(
        Value(text(constants, "use_new_web_views_for_viewability").value_or(""))));

    if (text(constants, "mraid_disable_redirect") == std::optional<std::string>("1"))
        HRNMRAIDInterceptor::disallow();
    else
        HRNMRAIDInterceptor::allow();

    if (auto intervals = decodedJSON(constants, "refresh_intervals");
        intervals && intervals->dictionary()) {
        auto seconds = [](const Value* value) -> std::optional<double> {
            if (!value) return std::nullopt;
            if (value->isNumber()) return value->asReal();
            if (value->string()) return std::strtod(value->string()->c_str(), nullptr);
            return std::nullopt;
        };
        if (auto interval = seconds(intervals->find("viewability_sampling_interval")))
            setViewabilitySamplingInterval(*interval);
        if (auto interval = seconds(intervals->find("swipe_to_view_sampling_interval")))
            setSwipeToViewSamplingInterval(*interval);
    }

    if (auto domains = decodedJSON(constants, "whitelisted_ad_request_domains");
        domains && domains->array()) {
        Array kept;
        for (const Value& domain : *domains->array())
            if (domain.string()) kept.push_back(domain);
        defaults.set(HRNSettingKey("whitelisted_ad_request_domains"), kept);
    }
    storeStringDictionary(constants, "clickthrough_confirm_schemes");
    if (auto schema = text(constants, "hads:interstitial_ad_pool:schema")) {
        Array fields;
        for (std::string& field : splitSettingAtCommas(*schema))
            fields.push_back(std::move(field));
        defaults.set(HRNSettingKey("hads:interstitial_ad_pool:schema"), fields);
    } else {
        defaults.remove(HRNSettingKey("hads:interstitial_ad_pool:schema"));
    }
    const bool collectLocation =
        HRNValueBoolValue(Value(text(constants, "auto_collect_location").value_or("")));
    HRNDispatchToMainThread([collectLocation] {
        HRNLocationService::sharedInstance()->setFeatureEnabled(collectLocation);
    });
    storeStringDictionary(constants, "hads:interstitial_ad_pool:field_names");

    defaults.remove(HRNSettingKey("experiment_id_string"));
    if (auto experiments = text(constants, "experiment_id_string")) {
        if (!experiments->empty())
            defaults.set(HRNSettingKey("experiment_id_string"), *experiments);
    } else {
        std::string joined;
        bool any = false;
        static const std::string kSuffix = "experiment_id";
        for (const auto& [name, value] : constants) {
            if (!value.string() || name.size() < kSuffix.size() ||
                name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
                continue;
            if (any) joined += ",";
            joined += *value.string();
            any = true;
        }
        if (any) defaults.set(HRNSettingKey("experiment_id_string"), joined);
    }

    for (const char* name : kPlainSettings) {
        auto value = text(constants, name);
        if (value && !value->empty()) defaults.set(HRNSettingKey(name), *value);
    }

    HRNCharacterSets::sharedInstance()->updateCharacterSets();

    // The adapter classes the server knows: a JSON list of names, or names joined by ",".
    std::vector<std::string> adapters;
    if (auto names = text(constants, "adapter_class_names")) {
        platform::Error error;
        auto decoded = hrn_decodedJSONObjectError(*names, &error);
        if (decoded && decoded->array()) {
            for (const Value& name : *decoded->array())
                if (name.string()) adapters.push_back(*name.string());
        } else if (!names->empty()) {
            adapters = splitSettingAtCommas(*names);
        }
    }
    HRNApplication::sharedInstance()->updateAvailableAdapterNamesWithPotentialAdapterNames(
        adapters);

    HRNDispatchToMainThread([] { HRNTokenDispenser::sharedInstance()->refreshSignedInUser(); });

    auto self = shared_from_this();
    lockQueue_->async([self] { self->SDKConstantsNeedReload_ = false; });
}
