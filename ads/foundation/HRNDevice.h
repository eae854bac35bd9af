#pragma once
// HRNDevice: the ad SDK's one source of facts about the device, the system, the screen and its
// orientation, the carrier, the audio output, the advertising identifier and the host app's
// bundle. It caches what never changes once at start-up (cacheStaticParameters), refreshes what
// changes before every ad request (updateDynamicParameters), and turns both into the device
// part of a request's parameters. It owns the SDK's HRNNetwork and HRNBluetoothMonitor.
//
// Threading: made once, from any thread. Every field written after creation is written on the
// lock queue ("com.heron.ads.device"), asynchronously, and read there synchronously, so a read
// after an update on the same thread sees it. cacheStaticParameters, updateDynamicParameters and
// the update steps read the system on the calling thread, which must be the main thread (a
// cacheStaticParameters off the main thread does nothing). parameters() and the getters may run
// on any thread; off the main thread the orientation refresh of orientationLandscape() is only
// queued, so it answers the orientation stored last.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/HRNBluetoothMonitor.h"
#include "ads/foundation/HRNNetwork.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Value.h"
#include "platform/render/Geometry.h"

namespace platform::ui {
class View;
}

class HRNDevice : public std::enable_shared_from_this<HRNDevice> {
  public:
    struct OperatingSystemVersion {
        int64_t majorVersion = 0;
        int64_t minorVersion = 0;
        int64_t patchVersion = 0;
    };

    static std::shared_ptr<HRNDevice> sharedInstance();
    ~HRNDevice();

    // Main thread only; acts once.
    void cacheStaticParameters();
    // Main thread: orientation, book stores, carrier, key window size, volume, audio ports.
    void updateDynamicParameters();
    // The device part of an ad request's parameters; a fact that is not known leaves its key out.
    platform::Dictionary parameters();

    bool isOSAtLeastMajorMinorPatch(int64_t major, int64_t minor, int64_t patch) const;
    bool OSIsSupported() const;  // 6.0.0 or later
    // Each URL text mapped to whether it can be opened; on system 9 and later only schemes the
    // Info.plist "LSApplicationQueriesSchemes" lists are asked.
    platform::Dictionary canOpenURLs(const std::vector<std::string>& urls) const;
    // Info.plist "DTSDKName" without the "DTPlatformName" text in it; computed once.
    std::optional<std::string> baseSDKVersion() const;

    bool limitAdTracking() const;
    std::string limitAdTrackingString() const;  // "1" or "0"
    std::string rawDeviceIdentifier() const;
    // "" when tracking is limited, else the MD5 (32 lowercase hex digits) of the raw identifier.
    std::string deviceIdentifier() const;
    std::string deviceSubmodel() const;         // the hardware machine name; computed once
    std::optional<std::string> locale() const;  // the first preferred language, lowercased

    bool orientationLandscape();
    platform::render::Rect standardizedPortraitScreenBounds() const;
    platform::render::Rect standardizedLandscapeScreenBounds() const;
    platform::render::Rect standardizedOrientedScreenBounds();
    platform::render::Rect standardizedOrientedApplicationFrame();
    platform::render::Size standardizedOrientedKeyWindowSize() const;
    platform::render::Size standardizedPortraitKeyWindowSize();

    float audioVolume() const;
    std::optional<std::vector<std::string>> audioRoutePortNames() const;
    std::optional<std::string> radioAccessTechnology() const;
    std::optional<std::string> lastKnownRadioAccessTechnology() const;
    std::optional<std::string> mobileCountryCode() const;
    std::optional<std::string> mobileNetworkCode() const;
    std::optional<std::string> userAgentString() const;
    // Store asynchronously on the lock queue. A radio technology that is not nil also becomes
    // the last known one, which never goes back to nil.
    void setRadioAccessTechnology(std::optional<std::string> technology);
    void setMobileCountryCode(std::optional<std::string> code);
    void setMobileNetworkCode(std::optional<std::string> code);
    void setUserAgentString(std::optional<std::string> userAgent);

    void enableRadioAccessTechnologyChecking();
    void disableRadioAccessTechnologyChecking();

    // "HeronTemp" in the process's temporary folder, made (with its parents) when asked.
    std::filesystem::path temporaryPathWithCreation(bool create) const;
    bool isSimulator() const { return false; }

    std::shared_ptr<HRNNetwork> network() const { return network_; }
    std::shared_ptr<HRNBluetoothMonitor> bluetoothMonitor() const { return bluetoothMonitor_; }
    bool canText() const;
    bool canMakePhoneCalls() const;
    double mainScreenDensity() const;
    std::optional<std::string> deviceModel() const;
    std::string systemVersion() const;
    OperatingSystemVersion operatingSystemVersion() const;

    HRNDevice();

  private:
    void start();
    void updateOperatingSystemVersionProperties();
    void updateOrientation();
    void updateBookstores();
    void updateMobileCarrierInformation();
    void updateOrientedKeyWindowSize();
    void updateAudioVolume();
    void updateAudioPortNames();
    template <typename T>
    T readLocked(const T& field) const;
    template <typename F>
    void writeLocked(F&& block);

    std::shared_ptr<platform::Queue> lockQueue_;
    std::optional<platform::NotificationCenter::Token> radioAccessTechnologyChangeObserver_;
    int64_t statusBarOrientation_ = 0;
    uint64_t supportedInterfaceOrientationsForKeyWindow_ = 0;
    platform::render::Rect standardizedMainScreenPortraitBounds_;
    platform::render::Rect standardizedMainScreenLandscapeBounds_;
    bool userInterfaceIdiomIsPhone_ = false;
    uint64_t bookstores_ = 0;
    float audioVolume_ = 1.0f;
    std::optional<std::vector<std::string>> audioRoutePortNames_;
    bool telephonyNetworkInfo_ = false;  // the carrier facts can be read
    std::optional<platform::Dictionary> infoPlist_;
    bool hasCachedStaticParameters_ = false;
    platform::render::Size standardizedOrientedKeyWindowSize_;
    std::shared_ptr<HRNBluetoothMonitor> bluetoothMonitor_;
    // The hidden system volume view and its slider, while the volume-view setting is on (main
    // thread).
    std::shared_ptr<platform::ui::View> volumeView_;
    std::shared_ptr<platform::ui::View> volumeSliderView_;
    std::optional<std::string> lastKnownRadioAccessTechnology_;
    std::optional<std::string> radioAccessTechnology_;
    std::optional<std::string> mobileCountryCode_;
    std::optional<std::string> mobileNetworkCode_;
    std::optional<std::string> userAgentString_;
    std::optional<std::string> deviceModel_;
    std::string systemVersion_;
    std::shared_ptr<HRNNetwork> network_;
    double mainScreenDensity_ = 0;
    bool canText_ = false;
    bool canMakePhoneCalls_ = false;
    OperatingSystemVersion operatingSystemVersion_;
};
