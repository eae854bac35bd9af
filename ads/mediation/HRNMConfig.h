#pragma once
// HRNMConfig: a mediation answer as the ad server sent it (the JSON body of an ad of response
// type 2): the ad type it was made for, its settings (refresh, time-out, transition, ping
// templates, rewards) and its ad-network entries in the order to try them, each with its
// chosen adapter class. The waterfall, the connectors, the pings and the rewarded-video run
// read it; nothing changes it after parsing except the waterfall's correction of an invalid ad
// type. Main thread.
//
//   {"ad_type": "interstitial", "qdata": "TEXT",
//    "settings": {"refresh": 60, "ad_network_timeout_millis": 2500, "ad_transition_anim": 0,
//                 "imp_urls": [...], "click_urls": [...], "nofill_urls": [...],
//                 "rewards": [{"rb_type": "coins", "rb_amount": 5}],
//                 "render_in_browser": false, "use_displayed_impression": false},
//    "ad_networks": [{"id": "1", "adapters": ["ClassName", ...], "data": {...}, ...}]}

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/formats/HRNAdSize.h"
#include "ads/mediation/HRNMAdNetworkConfig.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class HRNMConfig {
  public:
    // The parsed answer, or null with *error set: code 7 when "ad_networks" is missing or not
    // an array (so for a body that is no JSON object), or the error of an entry whose "id" is
    // unusable. Adapter problems of an entry (code 8) go to the public log and keep the entry.
    // Writes "settings"."render_in_browser" to the setting "/heron/ads/render_in_browser".
    static std::shared_ptr<HRNMConfig> initWithAppKeyConfigDictError(
        const std::optional<std::string>& appKey,
        const platform::Value* configDict,
        std::optional<platform::Error>* error);

    // "banner" 320x50, "largebanner" 320x100, "mrec" 300x250, "fullbanner" 468x60,
    // "leaderboard" 728x90, "skyscraper" 120x600, "interstitial"; anything else a banner of the
    // invalid size -1x-1, which isValid() rejects.
    static std::shared_ptr<HRNAdType> adTypeFromString(const std::optional<std::string>& name);
    // The type of the dictionary's "ad_type".
    static std::shared_ptr<HRNAdType> peekAdTypeFromConfig(const platform::Value* configDict);

    const std::vector<std::shared_ptr<HRNMAdNetworkConfig>>& adNetworkConfigs() const {
        return adNetworkConfigs_;
    }
    // Seconds between banner refreshes; 0 (none) when absent or 30000 or more.
    double refreshInterval() const { return refreshInterval_; }
    void setRefreshInterval(double seconds) { refreshInterval_ = seconds >= 30000.0 ? 0 : seconds; }
    // 0 to 8; 8 unless the answer gave one of those.
    int64_t bannerAnimationType() const { return bannerAnimationType_; }
    // Seconds one network may take; 10 unless the answer said.
    double adNetworkTimeout() const { return adNetworkTimeout_; }
    // 0: impression when the ad loaded; 1: when it is displayed.
    int64_t impressionDefinition() const { return impressionDefinition_; }
    // Answer-level ping templates.
    const std::optional<platform::Array>& impressionURLs() const { return impressionURLs_; }
    const std::optional<platform::Array>& clickURLs() const { return clickURLs_; }
    const std::optional<platform::Array>& noFillURLs() const { return noFillURLs_; }
    // Opaque server data echoed in pings.
    const std::optional<std::string>& qdata() const { return qdata_; }
    const std::shared_ptr<HRNAdType>& adType() const { return adType_; }
    void setAdType(std::shared_ptr<HRNAdType> adType) { adType_ = std::move(adType); }
    // The slot's (or rewarded video's) ad unit identifier.
    const std::optional<std::string>& appKey() const { return appKey_; }
    // Reward descriptions for rewarded videos.
    const std::optional<platform::Array>& rewards() const { return rewards_; }

    // "qdata:%@ adTypeString:%@ refresh:%f transition:%ld" and then "%@:\n%@ ad_networks:%@".
    std::string description() const;

  private:
    HRNMConfig() = default;
    void applySettings(const platform::Dictionary& settings);

    std::vector<std::shared_ptr<HRNMAdNetworkConfig>> adNetworkConfigs_;
    double refreshInterval_ = 0;
    int64_t bannerAnimationType_ = 8;
    double adNetworkTimeout_ = 10.0;
    int64_t impressionDefinition_ = 0;
    std::optional<platform::Array> impressionURLs_;
    std::optional<platform::Array> clickURLs_;
    std::optional<platform::Array> noFillURLs_;
    std::optional<std::string> qdata_;
    std::shared_ptr<HRNAdType> adType_;
    std::optional<std::string> appKey_;
    std::optional<platform::Array> rewards_;
    std::string adTypeString_;  // for description()
};
