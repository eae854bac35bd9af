#include "ads/formats/HRNMobileAds.h"

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNCrashReporter.h"

std::shared_ptr<HRNMobileAds> HRNMobileAds::sharedInstance() {
    static const auto* shared = new std::shared_ptr<HRNMobileAds>(std::make_shared<HRNMobileAds>());
    return *shared;
}

float HRNMobileAds::clampedApplicationVolume() const {
    const float volume = volume_.load();
    if (!(volume > 0.0f)) return 0.0f;  // also a NaN
    return volume < 1.0f ? volume : 1.0f;
}

void HRNMobileAds::enableBackgroundAdLoading() {
    HRNApplication::sharedInstance()->enableBackgroundAdLoading();
}

void HRNMobileAds::disableSDKCrashReporting() {
    HRNCrashReporter::sharedInstance()->setReportingEnabled(false);
}
