#include "ads/mediation/HRNMAdNetworkAdapter.h"

#include <gtest/gtest.h>

#include "ads/formats/HRNExtras.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/mediation/HRNMTestAdapters_test.h"
#include "ads/pipeline/HRNRequest.h"

using AdapterClass = HRNMClass::HRNMAdNetworkAdapter;
using platform::Dictionary;
using platform::Value;

namespace {

TEST(HRNMAdNetworkAdapter, ClassTests) {
    hrntest::registerDiscoveryAdapters();
    hrntest::registerRewardedAdapter("TestRewardedAdapter", {});
    struct Case {
        const char* name;
        bool adapterClass, currentAPI;
    };
    const Case cases[] = {
        {"TestInterstitialAdapter", true, true}, {"TestBannerSubAdapter", true, true},
        {"TestRewardedAdapter", true, true},     {"TestOldAdapter", true, false},
        {"TestNotAnAdapter", false, true},       {"NoSuchClass", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AdapterClass::classIsAdapterClass(c.name), c.adapterClass) << c.name;
        EXPECT_EQ(AdapterClass::classImplementsCurrentAdapterAPI(c.name), c.currentAPI) << c.name;
    }
    // Only banner and interstitial adapters are advertised.
    EXPECT_EQ(AdapterClass::availableAdapterNamesInSet(
                  {"TestInterstitialAdapter", "TestBannerSubAdapter", "TestRewardedAdapter",
                   "TestNotAnAdapter", "NoSuchClass", "TestOldAdapter"}),
              (std::set<std::string>{"TestBannerSubAdapter", "TestInterstitialAdapter",
                                     "TestOldAdapter"}));
}

TEST(HRNMAdNetworkAdapter, TheApplicationKeepsTheAdaptersPresentForEveryRequest) {
    auto application = HRNApplication::sharedInstance();
    EXPECT_FALSE(application->availableAdapterNames());
    EXPECT_FALSE(HRNRequest::request()->threadSafeParameters().count("adapters"))
        << "nothing is sent before the list is known";

    // Without built-in adapters registered, an update with nothing stores an empty list.
    application->updateAvailableAdapterNamesWithPotentialAdapterNames({});
    EXPECT_EQ(application->availableAdapterNames(), std::vector<std::string>{});

    hrntest::registerDiscoveryAdapters();
    hrntest::registerRewardedAdapter("TestRewardedAdapter", {});
    platform::runtime::registerClass(
        platform::runtime::Class{"HRNMAdapterHTML",
                                 hrntest::discoveryFactory("HRNMAdapterHTML"),
                                 {},
                                 "TestInterstitialAdapter",
                                 {},
                                 {}});
    application->updateAvailableAdapterNamesWithPotentialAdapterNames({});
    EXPECT_EQ(application->availableAdapterNames(), std::vector<std::string>{"HRNMAdapterHTML"})
        << "the built-in names present are kept";

    application->updateAvailableAdapterNamesWithPotentialAdapterNames(
        {"TestInterstitialAdapter", "HRNMAdapterHTML", "TestRewardedAdapter", "NoSuchClass"});
    const std::vector<std::string> expected = {"HRNMAdapterHTML", "TestInterstitialAdapter"};
    EXPECT_EQ(application->availableAdapterNames(), expected);
    EXPECT_EQ(HRNRequest::request()->threadSafeParameters()["adapters"],
              Value(platform::Array{"HRNMAdapterHTML", "TestInterstitialAdapter"}));
}

// A connector's answers as the test sets them.
class FakeMediationAdRequest : public virtual HRNMediationAdRequest {
  public:
    std::optional<std::string> publisherId() override { return "pub"; }
    Dictionary credentials() override { return credentialsValue; }
    bool testMode() override { return testModeValue; }
    std::shared_ptr<HRNAdNetworkExtras> networkExtras() override { return extrasValue; }
    std::optional<bool> childDirectedTreatment() override { return childDirected; }
    int64_t userGender() override { return 2; }
    std::optional<double> userBirthday() override { return 86400.0; }
    bool userHasLocation() override { return hasLocation; }
    double userLatitude() override { return hasLocation ? 31.2 : 0; }
    double userLongitude() override { return hasLocation ? 121.5 : 0; }
    double userLocationAccuracyInMeters() override { return hasLocation ? 5 : 0; }
    std::optional<std::string> userLocationDescription() override { return locationDescription; }
    std::optional<std::vector<std::string>> userKeywords() override {
        return std::vector<std::string>{"trade"};
    }

    Dictionary credentialsValue;
    bool testModeValue = false;
    std::shared_ptr<HRNAdNetworkExtras> extrasValue;
    std::optional<bool> childDirected;
    bool hasLocation = false;
    std::optional<std::string> locationDescription;
};

class FakeInternalMediationAdRequest : public FakeMediationAdRequest,
                                       public HRNMediationAdRequestInternal {
  public:
    std::optional<Dictionary> inlineAd() override { return inline_; }
    std::optional<Dictionary> extras() override { return entryExtras; }
    std::optional<platform::Array> adapterNames() override { return names; }
    std::optional<std::string> currentAdapterName() override { return current; }
    std::optional<std::string> userRequestAgent() override { return "agent/1"; }

    std::optional<Dictionary> inline_;
    std::optional<Dictionary> entryExtras;
    std::optional<platform::Array> names;
    std::optional<std::string> current;
};

Dictionary extrasOf(const HRNRequest& request) {
    auto extras = std::dynamic_pointer_cast<HRNExtras>(request.adNetworkExtrasFor("HRNExtras"));
    return extras ? extras->additionalParameters() : Dictionary{{"missing", true}};
}

TEST(HRNMAdNetworkAdapter, ARequestRebuiltFromAnAdaptersView) {
    // A plain adapter view: no location shared, no extras of its own.
    FakeMediationAdRequest plain;
    auto request = HRNRequest::requestWithMediationAdRequest(plain);
    EXPECT_FALSE(request->location());
    EXPECT_FALSE(request->testDevices());
    EXPECT_FALSE(request->childDirectedTreatment());
    EXPECT_FALSE(request->requestAgent());
    EXPECT_EQ(request->gender(), 2);
    EXPECT_EQ(request->birthday(), 86400.0);
    EXPECT_EQ(request->keywords(), std::vector<std::string>{"trade"});
    EXPECT_EQ(extrasOf(*request), (Dictionary{{"gw", "1"}}));
    EXPECT_FALSE(request->privateMediationExtras());

    // Everything an internal connector can say.
    FakeInternalMediationAdRequest full;
    full.testModeValue = true;
    full.childDirected = false;
    full.hasLocation = true;
    full.credentialsValue = {{"mad_hac", "h"}};
    full.extrasValue = std::make_shared<HRNExtras>(
        Dictionary{{"_mediationRequestUrl", "https://r"}, {"keep", "k"}, {"gw", "0"}});
    full.entryExtras = Dictionary{{"e", "1"}, {"n", 2}, {"keep", "over"}};
    full.inline_ = Dictionary{{"html", "<p>"}};
    full.names = platform::Array{platform::Array{"A", "B"}, platform::Array{"C"}};
    full.current = "B";
    request = HRNRequest::requestWithMediationAdRequest(full);
    EXPECT_EQ(request->testDevices(),
              (std::vector<std::string>{"Simulator", "Simulator",
                                        HRNDevice::sharedInstance()->deviceIdentifier()}));
    EXPECT_EQ(request->childDirectedTreatment(), false);
    ASSERT_TRUE(request->location());
    EXPECT_EQ(request->location()->latitude(), 31.2);
    EXPECT_EQ(request->requestAgent(), "agent/1");
    EXPECT_EQ(extrasOf(*request), (Dictionary{{"_mediationRequestUrl", "https://r"},
                                              {"_requestUrl", "https://r"},
                                              {"keep", "over"},
                                              {"gw", "1"},
                                              {"mad_hac", "h"},
                                              {"e", "1"},
                                              {"_ad", Dictionary{{"html", "<p>"}}}}));
    EXPECT_EQ(request->privateMediationExtras(),
              (Dictionary{{"man", Value(*full.names)}, {"mcan", "B"}}));

    // A location description is used when the location is not shared as a fix; without a list
    // of names the current one stands alone.
    FakeInternalMediationAdRequest described;
    described.locationDescription = "Shanghai";
    described.current = "Solo";
    request = HRNRequest::requestWithMediationAdRequest(described);
    ASSERT_TRUE(request->location());
    EXPECT_EQ(request->location()->locationDescription(), "Shanghai");
    EXPECT_EQ(request->privateMediationExtras(),
              (Dictionary{{"man", platform::Array{"Solo"}}, {"mcan", "Solo"}}));
}

}  // namespace
