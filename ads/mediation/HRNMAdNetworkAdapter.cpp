#include "ads/mediation/HRNMAdNetworkAdapter.h"

#include "ads/mediation/HRNMediationProtocols.h"

namespace runtime = platform::runtime;

namespace HRNMClass {

bool HRNMAdNetworkAdapter::classIsAdapterClass(std::string_view className) {
    return runtime::conformsTo(className, ::HRNMAdNetworkAdapter::kProtocolName) ||
           runtime::conformsTo(className, HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName);
}

bool HRNMAdNetworkAdapter::classImplementsCurrentAdapterAPI(std::string_view className) {
    return runtime::instancesRespondTo(className, ::HRNMAdNetworkAdapter::kGetBannerWithSize) ||
           runtime::instancesRespondTo(className, ::HRNMAdNetworkAdapter::kGetInterstitial) ||
           runtime::conformsTo(className, HRNMRewardBasedVideoAdNetworkAdapter::kProtocolName);
}

std::set<std::string> HRNMAdNetworkAdapter::availableAdapterNamesInSet(
    const std::set<std::string>& names) {
    std::set<std::string> available;
    for (const std::string& name : names)
        if (runtime::conformsTo(name, ::HRNMAdNetworkAdapter::kProtocolName))
            available.insert(name);
    return available;
}

}  // namespace HRNMClass
