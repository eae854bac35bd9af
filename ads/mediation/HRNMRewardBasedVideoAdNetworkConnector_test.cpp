#include "ads/mediation/HRNMRewardBasedVideoAdNetworkConnector.h"

#include <gtest/gtest.h>

#include "ads/formats/HRNExtras.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/mediation/HRNMTestAdapters_test.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"

using Connector = HRNMClass::HRNMRewardBasedVideoAdNetworkConnector;
using hrntest::rewardedCalls;
using platform::Dictionary;

namespace {

struct SetUpRecorder : HRNMRewardBasedVideoAdConnectorDelegate {
    std::vector<std::string> events;
    std::vector<platform::Error> errors;
    void connectorDidSetUpRewardBasedVideoAd(const std::shared_ptr<Connector>&) override {
        events.push_back("setUp");
    }
    void connectorDidFailToSetUpRewardBasedVideoAdWithError(const std::shared_ptr<Connector>&,
                                                            const platform::Error& e) override {
        events.push_back("setUpFailed");
        errors.push_back(e);
    }
    void connectorDidReceiveRewardBasedVideoAd(const std::shared_ptr<Connector>&) override {}
    void connectorDidFailToReceiveRewardBasedVideoAdWithError(const std::shared_ptr<Connector>&,
                                                              const platform::Error&) override {}
    void connectorDidReceiveClick(const std::shared_ptr<Connector>&) override {}
    void connectorDidRewardUserWithReward(const std::shared_ptr<Connector>&,
                                          const std::shared_ptr<const HRNAdReward>&) override {}
    void connectorDidOpenRewardBasedVideoAd(const std::shared_ptr<Connector>&) override {}
    void connectorDidStartPlayingRewardBasedVideoAd(const std::shared_ptr<Connector>&) override {}
    void connectorDidCloseRewardBasedVideoAd(const std::shared_ptr<Connector>&) override {}
    void connectorWillLeaveApplication(const std::shared_ptr<Connector>&) override {}
};

std::shared_ptr<HRNMAdNetworkConfig> entry(const std::string& json) {
    platform::Error error;
    auto value = hrn_decodedJSONObjectError(json, &error);
    return HRNMAdNetworkConfig::initWithDictionaryError(*value->dictionary(), nullptr);
}

TEST(HRNMRewardBasedVideoAdNetworkConnector, SetUpFailsWithoutAUsableAdapterClass) {
    hrntest::registerDiscoveryAdapters();
    hrntest::registerRewardedAdapter("TestRVFill", {});
    struct Case {
        std::shared_ptr<HRNMAdNetworkConfig> network;
        int64_t code;
        std::string message;
    };
    const Case cases[] = {
        {nullptr, kHRNErrorMediationDataError, "No network config to initialize adapter."},
        {entry(R"({"id": "1", "adapters": ["Nowhere"]})"), kHRNErrorMediationAdapterError,
         "Adapter class is empty."},
        {entry(R"({"id": "1", "adapters": ["TestInterstitialAdapter"]})"),
         kHRNErrorMediationAdapterError,
         "Adapter class doesn't conform to protocol HRNMRewardBasedVideoAdNetworkAdapter."},
    };
    for (const Case& c : cases) {
        auto connector = std::make_shared<Connector>();
        auto recorder = std::make_shared<SetUpRecorder>();
        connector->setDelegate(recorder);
        connector->setAdNetworkConfig(c.network);
        connector->setUpAdapter();
        ASSERT_EQ(recorder->events, std::vector<std::string>{"setUpFailed"}) << c.message;
        EXPECT_EQ(recorder->errors[0].code, c.code);
        EXPECT_EQ(recorder->errors[0].localizedDescription(), c.message);
        EXPECT_FALSE(connector->adapter());
    }
}

TEST(HRNMRewardBasedVideoAdNetworkConnector, AnOlderAdapterIsMadeAndSetUpTheOlderWay) {
    hrntest::registerRewardedAdapter("TestRVLegacy", {}, true);
    hrntest::registerRewardedAdapter("TestRVFill", {});
    auto connector = std::make_shared<Connector>();
    auto recorder = std::make_shared<SetUpRecorder>();
    connector->setDelegate(recorder);
    connector->setAdNetworkConfig(entry(R"({"id": "1", "adapters": ["TestRVLegacy"]})"));
    connector->setUpAdapter();
    EXPECT_EQ(rewardedCalls(), (std::vector<std::string>{"TestRVLegacy:initOld",
                                                         "TestRVLegacy:setUpWithUserID:nil"}));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"setUp"});

    // Its class has no networkExtrasClass: no extras, and a line says why.
    platform::LogCapture log;
    EXPECT_FALSE(connector->networkExtras());
    EXPECT_TRUE(platform::RunLoop::main().runUntil(
        [&] {
            return log.contains(
                "Adapter class TestRVLegacy does not respond to networkExtrasClass. "
                "Unable to retrieve network extras.");
        },
        10));

    // An entry of another adapter class is refused: the connector keeps its class.
    connector->setAdNetworkConfig(entry(R"({"id": "2", "adapters": ["TestRVFill"]})"));
    EXPECT_EQ(connector->adNetworkConfig()->networkID(), "1");
    connector->setUpAdapter();
    EXPECT_EQ(rewardedCalls().back(), "TestRVLegacy:setUpWithUserID:nil") << "same adapter again";
    EXPECT_EQ(std::count(rewardedCalls().begin(), rewardedCalls().end(), "TestRVLegacy:initOld"),
              1);
}

TEST(HRNMRewardBasedVideoAdNetworkConnector, TheLocationReachesTheAdapterOnlyWhenShared) {
    auto request = HRNRequest::request();
    request->setLocationWithLatitudeLongitudeAccuracy(31.25, 121.5, 8);
    request->tagForChildDirectedTreatment(true);
    for (bool shared : {false, true}) {
        auto connector = std::make_shared<Connector>();
        connector->setAdNetworkConfig(entry(
            std::string(
                R"({"id": "1", "adapters": [], "data": {"pubid": "p", "gwhirl_share_location": )") +
            (shared ? R"("1")" : R"("0")") + "}}"));
        connector->setRequest(request);
        EXPECT_EQ(connector->credentials(), (Dictionary{{"pubid", "p"}})) << "the key never shows";
        EXPECT_EQ(connector->publisherId(), "p");
        EXPECT_EQ(connector->childDirectedTreatment(), true);
        EXPECT_EQ(connector->userHasLocation(), shared);
        EXPECT_EQ(connector->userLatitude(), shared ? 31.25 : 0.0);
        EXPECT_EQ(connector->userLocationAccuracyInMeters(), shared ? 8.0 : 0.0);
    }
    auto untagged = std::make_shared<Connector>();
    untagged->setRequest(HRNRequest::request());
    EXPECT_EQ(untagged->childDirectedTreatment(), std::nullopt);
}

}  // namespace
