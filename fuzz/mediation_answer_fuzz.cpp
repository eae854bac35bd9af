// Mediation answers as the ad server sends them: the rewarded video's decoding of the answer
// (its headers and JSON body), the answer and its network entries decoded with adapter choice
// by class name, custom-event resolution, the rewards, and every ping template of the answer
// expanded the way the pings expand them.
//
// Input: the answer's JSON body. A few adapter classes are registered by name ("A" a banner
// adapter, "R" a rewarded one, "Old" an adapter of the old API, "HRNMAdapterCustomEvents").

#include <cstddef>
#include <cstdint>
#include <string>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "ads/mediation/HRNAdReward.h"
#include "ads/mediation/HRNMConfig.h"
#include "ads/mediation/HRNMRewardBasedVideoAdNetworkConnector.h"
#include "ads/mediation/HRNMUtilities.h"
#include "fuzz/FuzzSupport.h"
#include "platform/runtime/Runtime.h"

namespace {

class NamedObject : public platform::runtime::Object {
  public:
    explicit NamedObject(std::string name) : name_(std::move(name)) {}
    std::string className() const override { return name_; }

  private:
    std::string name_;
};

void registerAdapterClass(const std::string& name,
                          const char* protocol,
                          std::set<std::string, std::less<>> operations) {
    platform::runtime::registerClass(
        platform::runtime::Class{name,
                                 [name] { return std::make_shared<NamedObject>(name); },
                                 {protocol},
                                 "",
                                 std::move(operations),
                                 {}});
}

void expandAll(const std::optional<platform::Array>& templates,
               const std::shared_ptr<HRNMConfig>& config,
               const std::shared_ptr<HRNMAdNetworkConfig>& network) {
    if (!templates) return;
    for (const platform::Value& entry : *templates) {
        if (!entry.string()) continue;
        HRNMUtilities::mediationURLFrom(
            *entry.string(), config->appKey(), true,
            network ? network->allocationIDString() : std::nullopt,
            network ? std::optional<std::string>(network->networkID()) : std::nullopt,
            config->qdata().value_or(""), "session", "1", "1,2", "10,20", "0");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    registerAdapterClass("A", HRNMAdNetworkAdapter::kProtocolName,
                         {HRNMAdNetworkAdapter::kGetInterstitial});
    registerAdapterClass("HRNMAdapterCustomEvents", HRNMAdNetworkAdapter::kProtocolName,
                         {HRNMAdNetworkAdapter::kGetInterstitial});
    registerAdapterClass("Old", HRNMAdNetworkAdapter::kProtocolName, {});
    registerAdapterClass("R", HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName, {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto ad = std::make_shared<HRNAd>();
    ad->setResponseType(kHRNAdResponseTypeMediation);
    ad->setResponseHeaders(
        {{"x-hsdk-mediation", "1"}, {"content-type", "application/json; charset=utf-8"}});
    ad->setAdHTML(std::string(reinterpret_cast<const char*>(data), size));

    std::optional<platform::Error> error;
    std::optional<platform::Dictionary> answer =
        HRNRewardBasedVideoAd::decodedJSONResponseFromAd(ad, &error);
    if (!answer) return 0;
    const platform::Value body(*answer);
    auto config = HRNMConfig::initWithAppKeyConfigDictError("unit", &body, &error);
    if (!config) return 0;
    config->description();
    expandAll(config->impressionURLs(), config, nullptr);
    expandAll(config->clickURLs(), config, nullptr);
    expandAll(config->noFillURLs(), config, nullptr);
    if (config->rewards() && !config->rewards()->empty())
        HRNAdReward::createWithRewardDictionary(&config->rewards()->front());
    for (const auto& network : config->adNetworkConfigs()) {
        network->description();
        expandAll(network->impressionURLs(), config, network);
        expandAll(network->clickURLs(), config, network);
        expandAll(network->fillURLs(), config, network);
        expandAll(network->videoStartURLs(), config, network);
        expandAll(network->rewardedUserURLs(), config, network);
        // What a connector answers its adapter about this entry.
        auto connector = std::make_shared<HRNMClass::HRNMRewardBasedVideoAdNetworkConnector>();
        connector->setMediationConfig(config);
        connector->setAdNetworkConfig(network);
        connector->credentials();
        connector->publisherId();
        connector->inlineAd();
        connector->adapterNames();
        std::optional<platform::Error> resolveError;
        network->resolveAdNetworkClassForCustomEventWithError(&resolveError);
    }
    return 0;
}
