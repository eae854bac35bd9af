#pragma once
// HRNLocationService: takes one location fix when the SDK may collect location, and keeps it
// for the next ad requests (their "uule" parameter). Two switches must both be on: the SDK's
// own (the server constant "auto_collect_location") and the publisher's (the ad response's
// "x-hsdk-auto-collect-location" header); the user must have authorised location, and location
// services must be on.
//
// Threading: the switches, startUpdatingLocation and the location manager run on the main
// thread; manager callbacks come on the main queue. The fix lives on the "location-service"
// queue: location() reads it synchronously, writes are asynchronous there. Each updateLocation
// yields at most one fresh fix; a failure keeps the previous one; disable() clears it.

#include <memory>
#include <optional>

#include "ads/pipeline/HRNLocation.h"
#include "platform/device/Location.h"
#include "platform/dispatch/Queue.h"

class HRNLocationService : public platform::device::LocationManagerDelegate,
                           public std::enable_shared_from_this<HRNLocationService> {
  public:
    static std::shared_ptr<HRNLocationService> sharedInstance();

    std::optional<HRNLocation> location() const;

    // Asks for a fix on the main thread (at once when called there).
    void updateLocation();
    void setFeatureEnabled(bool enabled);          // main thread; off clears the fix
    void setPublisherAuthorized(bool authorized);  // main thread; off clears the fix
    void startUpdatingLocation();                  // main thread
    void disable();

    void didUpdateLocations(platform::device::LocationManager& manager,
                            const std::vector<platform::device::LocationFix>& fixes) override;
    void didFailWithError(platform::device::LocationManager& manager,
                          const platform::Error& error) override;
    void didChangeAuthorizationStatus(platform::device::LocationManager& manager,
                                      int64_t status) override;

    HRNLocationService();

  private:
    void stopUpdatingOnMainThread();

    std::shared_ptr<platform::device::LocationManager> locationManager_;
    std::optional<HRNLocation> location_;  // on the location queue
    std::shared_ptr<platform::Queue> locationDataQueue_;
    bool featureEnabled_ = false;
    bool publisherAuthorized_ = false;
};
