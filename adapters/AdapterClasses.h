#pragma once
// The adapters' classes made by name: what the app and the tests call once at start, with the
// other libraries' registerClasses.

#include <array>

namespace adapters {

// Every adapter class of this library, as a mediation answer names it.
inline constexpr std::array<const char*, 3> kAdapterClassNames = {
    "HRNMAdapterPuffin",
    "HRNMAdapterPloverInterstitial",
    "HRNMAdapterPloverRewardBasedVideoAd",
};

void registerClasses();

}  // namespace adapters
