#include "ads/formats/HRNMobileAds.h"

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNCrashReporter.h"
#include "platform/foundation/NotificationCenter.h"

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

void HRNMobileAds::setApplicationMuted(bool muted) {
    if (muted_.exchange(muted) == muted) return;
    platform::NotificationCenter::defaultCenter().post(kApplicationVolumeDidChangeNotification,
                                                       this);
}

void HRNMobileAds::setApplicationVolume(float volume) {
    const float old = volume_.exchange(volume);
    if (old == volume) return;
    platform::NotificationCenter::defaultCenter().post(kApplicationVolumeDidChangeNotification,
                                                       this);
}
