#pragma once
// HRNMobileAds: the publisher's SDK-wide settings: the application's audio (the muted flag and
// the volume that ad requests report), background ad loading and the SDK's crash reporting.
// Thread-safe; made once.

#include <atomic>
#include <memory>

class HRNMobileAds {
  public:
    // Posted (sender: the shared object, no user info) when the volume or the muted flag
    // changes; every slot then tells its ad's page.
    static constexpr const char* kApplicationVolumeDidChangeNotification =
        "HRNMobileAdsApplicationVolumeDidChangeNotification";

    static std::shared_ptr<HRNMobileAds> sharedInstance();

    bool applicationMuted() const { return muted_.load(); }
    void setApplicationMuted(bool muted);

    // The publisher's application volume, as set (1.0 until set).
    float applicationVolume() const { return volume_.load(); }
    void setApplicationVolume(float volume);
    // The volume clamped to 0.0 to 1.0 (a value that is not a number counts as 0.0).
    float clampedApplicationVolume() const;

    // Lets ads load while the app is in the background (the SDK application's flag).
    static void enableBackgroundAdLoading();
    // Switches the SDK's crash reporting off.
    static void disableSDKCrashReporting();

  private:
    std::atomic<bool> muted_{false};
    std::atomic<float> volume_{1.0f};
};
