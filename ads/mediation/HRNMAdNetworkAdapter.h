#pragma once
// The tests that decide, by class name, whether a registered class is a usable mediation
// adapter, and the names of the adapters built into the SDK. (The adapter protocol of the same
// name is in HRNMediationProtocols.h.) Class names are looked up in platform/runtime, where
// conformance and operations of a superclass count. Any thread.

#include <set>
#include <string>
#include <string_view>

// The SDK's own adapters, always offered to the ad server when present.
inline constexpr const char* kHRNMBuiltInAdapterNames[] = {
    "HRNMAdapterHeronAds",
    "HRNMAdapterCustomEvents",
    "HRNMAdapterHTML",
    "HRNMAdURLAdapter",
};

namespace HRNMClass {

class HRNMAdNetworkAdapter {
  public:
    // Conforms to the banner/interstitial or to the rewarded-video adapter protocol.
    static bool classIsAdapterClass(std::string_view className);
    // Its instances answer getBannerWithSize: or getInterstitial, or it conforms to the
    // rewarded-video adapter protocol.
    static bool classImplementsCurrentAdapterAPI(std::string_view className);
    // The names whose class is registered and conforms to the banner/interstitial adapter
    // protocol (a rewarded-video-only adapter is not counted).
    static std::set<std::string> availableAdapterNamesInSet(const std::set<std::string>& names);
};

}  // namespace HRNMClass
