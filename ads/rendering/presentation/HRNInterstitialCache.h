#pragma once
// HRNInterstitialCache: the shared pool of preloaded interstitials. Start-up makes it, on a
// global queue, when the server turns the pool on; the pools themselves join with the
// interstitial presentation. Made once, thread-safe.

#include <memory>

class HRNInterstitialCache {
  public:
    static std::shared_ptr<HRNInterstitialCache> sharedInstance();
    // Whether the shared cache has been made.
    static bool sharedInstanceExists();

    HRNInterstitialCache() = default;
};
