#pragma once
// HRNMAdNetworkConfig: one ad-network entry of a mediation answer ("ad_networks" of HRNMConfig)
// with the adapter class chosen to serve it: the first name of its "adapters" list whose class
// is registered, implements the current adapter API and conforms to an adapter protocol.
// Read-only after parsing (only custom-event resolution changes the chosen class).
//
// Values of the wrong JSON kind are ignored (the field stays std::nullopt), except
// "allocation_id", kept whatever its kind. Main thread, like the rest of mediation.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class HRNMAdNetworkConfig {
  public:
    // The entry, or null when its "id" is missing or neither a text nor a number (*error code 7).
    // An entry may come back with *error set too: code 8 for adapter problems (an old-API
    // adapter, no adapter class found), which leave the entry without or with an adapter class.
    static std::shared_ptr<HRNMAdNetworkConfig> initWithDictionaryError(
        const platform::Dictionary& dictionary,
        std::optional<platform::Error>* error);

    // "id": a text, or a number's decimal text.
    const std::string& networkID() const { return networkID_; }
    // "data", the network's credentials.
    const std::optional<platform::Dictionary>& credentials() const { return credentials_; }
    // credentials()["pubid"] when it is a text.
    std::optional<std::string> publisherID() const;
    // "extras": text parameters for the SDK's own adapters.
    const std::optional<platform::Dictionary>& extras() const { return extras_; }
    // "ad": inline ad data for the SDK's own adapters.
    const std::optional<platform::Dictionary>& ad() const { return ad_; }
    // "adapters": class names in preference order.
    const std::optional<platform::Array>& adapterList() const { return adapterList_; }
    // The registered class name chosen to serve the entry; std::nullopt when none is usable.
    const std::optional<std::string>& adapterClass() const { return adapterClass_; }
    // "allocation_id", of whatever kind.
    const std::optional<platform::Value>& allocationID() const { return allocationID_; }
    // The allocation identifier as pings carry it: a text as it is, a number as its decimal
    // text; std::nullopt for anything else.
    std::optional<std::string> allocationIDString() const;
    // Ping templates: "imp_urls", "clickurl", "fill_urls", "video_start_urls",
    // "video_complete_urls".
    const std::optional<platform::Array>& impressionURLs() const { return impressionURLs_; }
    const std::optional<platform::Array>& clickURLs() const { return clickURLs_; }
    const std::optional<platform::Array>& fillURLs() const { return fillURLs_; }
    const std::optional<platform::Array>& videoStartURLs() const { return videoStartURLs_; }
    const std::optional<platform::Array>& rewardedUserURLs() const { return rewardedUserURLs_; }
    // Native-express: "ad_loader_options", "html_template", "ad_base_url", "template_ids",
    // "assets".
    const std::optional<platform::Dictionary>& nativeExpressAdLoaderOptions() const {
        return nativeExpressAdLoaderOptions_;
    }
    const std::optional<std::string>& nativeExpressHTMLTemplate() const {
        return nativeExpressHTMLTemplate_;
    }
    const std::optional<std::string>& nativeExpressAdBaseURL() const {
        return nativeExpressAdBaseURL_;
    }
    const std::optional<platform::Array>& nativeExpressTemplateIDs() const {
        return nativeExpressTemplateIDs_;
    }
    const std::optional<platform::Dictionary>& nativeExpressAssets() const {
        return nativeExpressAssets_;
    }

    // When the chosen class is the custom-events adapter, replaces it by the publisher's class
    // named in the credentials' "class_name" (code 8 errors when there is none, it is not
    // registered, or it is no adapter class). Answers whether no error was set.
    bool resolveAdNetworkClassForCustomEventWithError(std::optional<platform::Error>* error);

    // "networkID:%@ adapter:%@ data:%@" (the publisher identifier, else the credentials).
    std::string description() const;

  private:
    HRNMAdNetworkConfig() = default;
    void chooseAdapterClass(std::optional<platform::Error>* error);

    std::string networkID_;
    std::optional<platform::Dictionary> credentials_;
    std::optional<platform::Dictionary> extras_;
    std::optional<platform::Dictionary> ad_;
    std::optional<platform::Array> adapterList_;
    std::optional<std::string> adapterClass_;
    std::optional<platform::Value> allocationID_;
    std::optional<platform::Array> impressionURLs_;
    std::optional<platform::Array> clickURLs_;
    std::optional<platform::Array> fillURLs_;
    std::optional<platform::Array> videoStartURLs_;
    std::optional<platform::Array> rewardedUserURLs_;
    std::optional<platform::Dictionary> nativeExpressAdLoaderOptions_;
    std::optional<std::string> nativeExpressHTMLTemplate_;
    std::optional<std::string> nativeExpressAdBaseURL_;
    std::optional<platform::Array> nativeExpressTemplateIDs_;
    std::optional<platform::Dictionary> nativeExpressAssets_;
};

// A JSON value read as a number the way mediation answers mean it: numbers and booleans, and
// texts by their leading number (0 when there is none); std::nullopt for anything else.
std::optional<double> HRNMNumberValue(const platform::Value& value);
// A number's decimal text ("42", "2.5", booleans "1" and "0"); std::nullopt for other kinds.
std::optional<std::string> HRNMNumberString(const platform::Value& value);
