#include "ads/rendering/presentation/HRNInterstitialCache.h"

#include <atomic>

namespace {
std::atomic<bool> gMade{false};
}  // namespace

std::shared_ptr<HRNInterstitialCache> HRNInterstitialCache::sharedInstance() {
    static const auto* shared = [] {
        auto* made =
            new std::shared_ptr<HRNInterstitialCache>(std::make_shared<HRNInterstitialCache>());
        gMade = true;
        return made;
    }();
    return *shared;
}

bool HRNInterstitialCache::sharedInstanceExists() {
    return gMade;
}
