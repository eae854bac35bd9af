#include "adapters/AdapterClasses.h"

#include "adapters/HRNMAdapterPlover.h"
#include "adapters/HRNMAdapterPuffin.h"

namespace adapters {

void registerClasses() {
    HRNMAdapterPuffin::registerClass();
    HRNMAdapterPloverInterstitial::registerClass();
    HRNMAdapterPloverRewardBasedVideoAd::registerClass();
}

}  // namespace adapters
