#include "ads/mediation/HRNMAdNetworkConfig.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "ads/mediation/HRNMAdNetworkAdapter.h"
#include "platform/runtime/Runtime.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr const char* kCustomEventsAdapterName = "HRNMAdapterCustomEvents";

void setMediationError(std::optional<platform::Error>* error,
                       int64_t code,
                       const std::string& message) {
    if (error) *error = HRNRequestError::errorWithCodeCustomMessage(code, message).error();
}

std::optional<Dictionary> dictionaryFor(const Dictionary& dictionary, std::string_view key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->second.dictionary()) return std::nullopt;
    return *it->second.dictionary();
}

std::optional<Array> arrayFor(const Dictionary& dictionary, std::string_view key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->second.array()) return std::nullopt;
    return *it->second.array();
}

std::optional<std::string> stringFor(const Dictionary& dictionary, std::string_view key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->second.string()) return std::nullopt;
    return *it->second.string();
}

std::string joined(const std::vector<std::string>& names, const char* separator) {
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty()) text += separator;
        text += name;
    }
    return text;
}

std::string missingAdapterMessage(const std::string& names) {
    return "Cannot find an ad network adapter with the name(s): " + names +
           ". Remember to link all required ad network adapters and SDKs, and set -ObjC in the "
           "'Other Linker Flags' setting of your build target.";
}

}  // namespace

std::optional<double> HRNMNumberValue(const Value& value) {
    if (value.isNumber() || value.isBool()) return value.asReal();
    if (const std::string* text = value.string()) {
        const double number = std::strtod(text->c_str(), nullptr);
        return std::isfinite(number) ? number : 0.0;
    }
    return std::nullopt;
}

std::optional<std::string> HRNMNumberString(const Value& value) {
    if (value.isBool()) return value.asBool() ? "1" : "0";
    if (value.isInteger()) return std::to_string(value.asInteger());
    if (value.isReal()) {
        const double number = value.asReal();
        char buffer[64];
        auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, number);
        if (status != std::errc()) return std::nullopt;
        return std::string(buffer, end);
    }
    return std::nullopt;
}

std::shared_ptr<HRNMAdNetworkConfig> HRNMAdNetworkConfig::initWithDictionaryError(
    const Dictionary& dictionary,
    std::optional<platform::Error>* error) {
    std::shared_ptr<HRNMAdNetworkConfig> config(new HRNMAdNetworkConfig());
    auto id = dictionary.find("id");
    if (id == dictionary.end()) {
        setMediationError(error, kHRNErrorMediationDataError,
                          "The Heron Mediation response was invalid: An ad network config has no "
                          "network ID.");
        return nullptr;
    }
    if (const std::string* text = id->second.string()) {
        config->networkID_ = *text;
    } else if (auto number = HRNMNumberString(id->second)) {
        config->networkID_ = *number;
    } else {
        setMediationError(error, kHRNErrorMediationDataError,
                          "The Heron Mediation response was invalid: An ad network config has an "
                          "invalid network ID.");
        return nullptr;
    }
    config->credentials_ = dictionaryFor(dictionary, "data");
    config->extras_ = dictionaryFor(dictionary, "extras");
    config->ad_ = dictionaryFor(dictionary, "ad");
    config->adapterList_ = arrayFor(dictionary, "adapters");
    if (auto allocation = dictionary.find("allocation_id"); allocation != dictionary.end())
        config->allocationID_ = allocation->second;
    config->impressionURLs_ = arrayFor(dictionary, "imp_urls");
    config->clickURLs_ = arrayFor(dictionary, "clickurl");
    config->fillURLs_ = arrayFor(dictionary, "fill_urls");
    config->videoStartURLs_ = arrayFor(dictionary, "video_start_urls");
    config->rewardedUserURLs_ = arrayFor(dictionary, "video_complete_urls");
    config->nativeExpressAdLoaderOptions_ = dictionaryFor(dictionary, "ad_loader_options");
    config->nativeExpressHTMLTemplate_ = stringFor(dictionary, "html_template");
    config->nativeExpressAdBaseURL_ = stringFor(dictionary, "ad_base_url");
    config->nativeExpressTemplateIDs_ = arrayFor(dictionary, "template_ids");
    config->nativeExpressAssets_ = dictionaryFor(dictionary, "assets");
    config->chooseAdapterClass(error);
    return config;
}

void HRNMAdNetworkConfig::chooseAdapterClass(std::optional<platform::Error>* error) {
    using HRNMClass::HRNMAdNetworkAdapter;
    std::vector<std::string> oldAPINames;
    std::vector<std::string> names;
    if (adapterList_) {
        for (const Value& entry : *adapterList_) {
            // An element that is not a text names no class.
            const std::string* name = entry.string();
            if (!name) continue;
            names.push_back(*name);
            if (adapterClass_ || !platform::runtime::classNamed(*name)) continue;
            if (!HRNMAdNetworkAdapter::classImplementsCurrentAdapterAPI(*name)) {
                oldAPINames.push_back(*name);
            } else if (HRNMAdNetworkAdapter::classIsAdapterClass(*name)) {
                adapterClass_ = *name;
            }
        }
    }
    if (!oldAPINames.empty()) {
        const std::string suffix =
            adapterClass_ ? "" : " No valid adapters found for this ad network.";
        if (oldAPINames.size() == 1)
            setMediationError(error, kHRNErrorMediationAdapterError,
                              "Ad network adapter " + oldAPINames.front() +
                                  " implements an old API. Please update the adapter." + suffix);
        else
            setMediationError(error, kHRNErrorMediationAdapterError,
                              "Ad network adapters (" + joined(oldAPINames, ", ") +
                                  ") implement an old API. Please update the adapters." + suffix);
    } else if (!adapterClass_) {
        setMediationError(error, kHRNErrorMediationAdapterError,
                          missingAdapterMessage(joined(names, ",")));
    }
}

std::optional<std::string> HRNMAdNetworkConfig::publisherID() const {
    if (!credentials_) return std::nullopt;
    return stringFor(*credentials_, "pubid");
}

std::optional<std::string> HRNMAdNetworkConfig::allocationIDString() const {
    if (!allocationID_) return std::nullopt;
    if (const std::string* text = allocationID_->string()) return *text;
    return HRNMNumberString(*allocationID_);
}

bool HRNMAdNetworkConfig::resolveAdNetworkClassForCustomEventWithError(
    std::optional<platform::Error>* error) {
    if (adapterClass_ != kCustomEventsAdapterName) return true;
    std::optional<std::string> name;
    if (credentials_) name = stringFor(*credentials_, "class_name");
    if (!name) {
        setMediationError(error, kHRNErrorMediationAdapterError,
                          "Custom event adapter class name is empty.");
        return false;
    }
    adapterClass_.reset();
    if (!platform::runtime::classNamed(*name)) {
        setMediationError(error, kHRNErrorMediationAdapterError, missingAdapterMessage(*name));
        return false;
    }
    if (!HRNMClass::HRNMAdNetworkAdapter::classIsAdapterClass(*name)) {
        setMediationError(error, kHRNErrorMediationAdapterError,
                          "Class " + *name + " does not conforms to mediation protocols.");
        return false;
    }
    adapterClass_ = *name;
    return true;
}

std::string HRNMAdNetworkConfig::description() const {
    std::string data;
    if (auto publisher = publisherID())
        data = *publisher;
    else if (credentials_)
        data = hrn_description(Value(*credentials_));
    else
        data = "(null)";
    return "networkID:" + networkID_ + " adapter:" + adapterClass_.value_or("(null)") +
           " data:" + data;
}
