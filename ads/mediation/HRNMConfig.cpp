#include "ads/mediation/HRNMConfig.h"

#include <cstdio>

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "platform/foundation/UserDefaults.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

struct NamedAdType {
    const char* name;
    const HRNAdSize* size;  // null for the interstitial
};

const NamedAdType kAdTypeNames[] = {
    {"banner", &kHRNAdSizeBanner},
    {"largebanner", &kHRNAdSizeLargeBanner},
    {"mrec", &kHRNAdSizeMediumRectangle},
    {"fullbanner", &kHRNAdSizeFullBanner},
    {"leaderboard", &kHRNAdSizeLeaderboard},
    {"skyscraper", &kHRNAdSizeSkyscraper},
    {"interstitial", nullptr},
};

std::optional<Array> configArrayFor(const Dictionary& dictionary, std::string_view key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->second.array()) return std::nullopt;
    return *it->second.array();
}

std::optional<std::string> adTypeNameOf(const Value* configDict) {
    if (!configDict) return std::nullopt;
    const Value* name = configDict->find("ad_type");
    if (!name || !name->string()) return std::nullopt;
    return *name->string();
}

}  // namespace

std::shared_ptr<HRNAdType> HRNMConfig::adTypeFromString(const std::optional<std::string>& name) {
    if (name) {
        for (const NamedAdType& entry : kAdTypeNames) {
            if (*name != entry.name) continue;
            return entry.size ? HRNAdType::bannerAdTypeForSize(*entry.size)
                              : HRNAdType::interstitialAdType();
        }
    }
    return HRNAdType::bannerAdTypeForSize(kHRNAdSizeInvalid);
}

std::shared_ptr<HRNAdType> HRNMConfig::peekAdTypeFromConfig(const Value* configDict) {
    return adTypeFromString(adTypeNameOf(configDict));
}

std::shared_ptr<HRNMConfig> HRNMConfig::initWithAppKeyConfigDictError(
    const std::optional<std::string>& appKey,
    const Value* configDict,
    std::optional<platform::Error>* error) {
    std::shared_ptr<HRNMConfig> config(new HRNMConfig());
    config->appKey_ = appKey;
    config->adTypeString_ = adTypeNameOf(configDict).value_or("(null)");
    config->adType_ = peekAdTypeFromConfig(configDict);
    if (const Value* settings = configDict ? configDict->find("settings") : nullptr;
        settings && settings->dictionary())
        config->applySettings(*settings->dictionary());
    if (const Value* qdata = configDict ? configDict->find("qdata") : nullptr; qdata) {
        if (const std::string* text = qdata->string())
            config->qdata_ = *text;
        else if (auto number = HRNMNumberString(*qdata))
            config->qdata_ = *number;
    }
    const Value* networks = configDict ? configDict->find("ad_networks") : nullptr;
    if (!networks || !networks->array()) {
        if (error) *error = HRNRequestError::errorWithCode(kHRNErrorMediationDataError).error();
        return nullptr;
    }
    for (const Value& entry : *networks->array()) {
        const Dictionary* dictionary = entry.dictionary();
        if (!dictionary) continue;
        std::optional<platform::Error> entryError;
        auto network = HRNMAdNetworkConfig::initWithDictionaryError(*dictionary, &entryError);
        if (network) config->adNetworkConfigs_.push_back(network);
        if (!entryError) continue;
        if (entryError->code == kHRNErrorMediationAdapterError) {
            HRNLogger::sharedInstance()->logPublicMessage(entryError->localizedDescription());
            continue;
        }
        if (error) *error = *entryError;
        return nullptr;
    }
    return config;
}

void HRNMConfig::applySettings(const Dictionary& settings) {
    auto number = [&](std::string_view key) -> std::optional<double> {
        auto it = settings.find(key);
        return it == settings.end() ? std::nullopt : HRNMNumberValue(it->second);
    };
    if (auto refresh = number("refresh")) setRefreshInterval(*refresh);
    if (auto timeout = number("ad_network_timeout_millis")) adNetworkTimeout_ = *timeout / 1000.0;
    if (auto animation = number("ad_transition_anim")) {
        const auto type = static_cast<int64_t>(*animation);
        if (type >= 0 && type <= 8) bannerAnimationType_ = type;
    }
    impressionURLs_ = configArrayFor(settings, "imp_urls");
    clickURLs_ = configArrayFor(settings, "click_urls");
    noFillURLs_ = configArrayFor(settings, "nofill_urls");
    rewards_ = configArrayFor(settings, "rewards");
    if (auto inBrowser = settings.find("render_in_browser");
        inBrowser != settings.end() && HRNMNumberValue(inBrowser->second))
        platform::UserDefaults::standard().set(HRNSettingKey("render_in_browser"),
                                               Value(HRNValueBoolValue(inBrowser->second)));
    if (auto displayed = settings.find("use_displayed_impression");
        displayed != settings.end() && HRNMNumberValue(displayed->second) &&
        HRNValueBoolValue(displayed->second))
        impressionDefinition_ = 1;
}

std::string HRNMConfig::description() const {
    char head[256];
    std::snprintf(head, sizeof head, " refresh:%f transition:%ld", refreshInterval_,
                  static_cast<long>(bannerAnimationType_));
    std::string text =
        "qdata:" + qdata_.value_or("(null)") + " adTypeString:" + adTypeString_ + head;
    std::string networks = "(\n";
    for (size_t i = 0; i < adNetworkConfigs_.size(); ++i)
        networks += "    " + adNetworkConfigs_[i]->description() +
                    (i + 1 < adNetworkConfigs_.size() ? ",\n" : "\n");
    networks += ")";
    return "<HRNMConfig>:\n" + text + " ad_networks:" + networks;
}
