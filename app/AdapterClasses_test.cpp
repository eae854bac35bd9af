// The program's class table, as main fills it: every adapter class a mediation answer may name
// is there, is taken for an adapter by discovery, and makes an object of its protocol.

#include <gtest/gtest.h>

#include "adapters/AdapterClasses.h"
#include "ads/mediation/HRNMAdNetworkAdapter.h"
#include "ads/mediation/HRNMediationProtocols.h"
#include "app/Launch.h"
#include "peers/adserver/AdCatalogue.h"
#include "platform/runtime/Runtime.h"

namespace {

namespace runtime = platform::runtime;

TEST(ProgramClasses, EveryAdapterClassResolvesAndMakesAnAdapter) {
    qen::app::registerLibraryClasses();
    for (const char* name : adapters::kAdapterClassNames) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(runtime::classNamed(name));
        EXPECT_TRUE(HRNMClass::HRNMAdNetworkAdapter::classIsAdapterClass(name));
        EXPECT_TRUE(HRNMClass::HRNMAdNetworkAdapter::classImplementsCurrentAdapterAPI(name));
        EXPECT_TRUE(runtime::classOperation<std::function<std::string()>>(
            name, HRNMAdNetworkAdapter::kAdapterVersion));
        auto extras = runtime::classOperation<std::function<std::optional<std::string>()>>(
            name, HRNMAdNetworkAdapter::kNetworkExtrasClass);
        ASSERT_TRUE(extras);
        EXPECT_TRUE((*extras)());
        auto object = runtime::createInstance(name);
        ASSERT_TRUE(object);
        EXPECT_EQ(object->className(), name);
        // What the class claims, its objects are.
        if (runtime::conformsTo(name, HRNMAdNetworkAdapter::kProtocolName)) {
            EXPECT_TRUE(std::dynamic_pointer_cast<HRNMAdNetworkAdapter>(object));
        }
        if (runtime::conformsTo(name, HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName)) {
            EXPECT_TRUE(std::dynamic_pointer_cast<HRNMRewardBasedVideoAdNetworkAdapter>(object));
        }
    }
    // Both networks' rewarded videos and interstitials have an adapter.
    EXPECT_TRUE(runtime::conformsTo("HRNMAdapterPuffin",
                                    HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName));
    EXPECT_TRUE(runtime::conformsTo("HRNMAdapterPloverRewardBasedVideoAd",
                                    HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName));
    // The banner/interstitial adapters are the ones every ad request advertises.
    const auto advertised = HRNMClass::HRNMAdNetworkAdapter::availableAdapterNamesInSet(
        {"HRNMAdapterPuffin", "HRNMAdapterPloverInterstitial",
         "HRNMAdapterPloverRewardBasedVideoAd"});
    EXPECT_EQ(advertised,
              (std::set<std::string>{"HRNMAdapterPloverInterstitial", "HRNMAdapterPuffin"}));
}

// Whatever the game's ad server answers with a mediation answer names only classes the program
// has, and each of them is an adapter.
TEST(ProgramClasses, EveryAdapterTheAdServersCatalogueNamesResolves) {
    qen::app::registerLibraryClasses();
    std::string error;
    auto catalogue = peers::AdCatalogue::load(QEN_AD_CATALOGUE, &error);
    ASSERT_TRUE(catalogue) << error;
    for (const auto& [unit, entry] : catalogue->units) {
        if (!entry.mediation) continue;
        const platform::Value answer(*entry.mediation);
        const platform::Value* networks = answer.find("ad_networks");
        ASSERT_TRUE(networks && networks->array()) << unit;
        for (const platform::Value& network : *networks->array()) {
            const platform::Value* names = network.find("adapters");
            ASSERT_TRUE(names && names->array()) << unit;
            for (const platform::Value& name : *names->array()) {
                SCOPED_TRACE(unit + ": " + name.asString());
                EXPECT_TRUE(runtime::classNamed(name.asString()));
                EXPECT_TRUE(HRNMClass::HRNMAdNetworkAdapter::classIsAdapterClass(name.asString()));
            }
        }
    }
}

}  // namespace
