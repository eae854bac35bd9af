#pragma once
// Location: the user's authorisation for the app and the position fixes a location manager
// hands to its delegate. The device has no fix unless a test sets one (setLocationFix), so a
// manager that is updating hears nothing until then.
//
// Contract:
//  - Delegate calls come on the main queue, asynchronously, never from inside the call that
//    caused them.
//  - startUpdatingLocation with a fix set delivers that fix once; setting a fix (or an error)
//    while managers are updating delivers it to each of them. stopUpdatingLocation ends
//    delivery: a call already queued for a stopped manager is dropped.
//  - Changing the authorisation status tells the delegate of every living manager.
//  - The free functions are thread-safe; a LocationManager is used on the main thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"

namespace platform::device {

inline constexpr int64_t kLocationAuthorizationNotDetermined = 0;
inline constexpr int64_t kLocationAuthorizationRestricted = 1;
inline constexpr int64_t kLocationAuthorizationDenied = 2;
inline constexpr int64_t kLocationAuthorizationAlways = 3;
inline constexpr int64_t kLocationAuthorizationWhenInUse = 4;

struct LocationFix {
    double latitude = 0;            // degrees
    double longitude = 0;           // degrees
    double horizontalAccuracy = 0;  // metres
};

// Not determined until a test says otherwise.
int64_t locationAuthorizationStatus();
void setLocationAuthorizationStatus(int64_t status);

// Whether location services are on for the device (on).
bool locationServicesEnabled();
void setLocationServicesEnabled(bool enabled);

// The device's current position; std::nullopt (the default) is no fix.
void setLocationFix(std::optional<LocationFix> fix);
// Makes every updating manager fail with the error.
void failLocationUpdates(const Error& error);

class LocationManager;

class LocationManagerDelegate {
  public:
    virtual ~LocationManagerDelegate() = default;
    virtual void didUpdateLocations(LocationManager&, const std::vector<LocationFix>&) {}
    virtual void didFailWithError(LocationManager&, const Error&) {}
    virtual void didChangeAuthorizationStatus(LocationManager&, int64_t /*status*/) {}
};

class LocationManager : public std::enable_shared_from_this<LocationManager> {
  public:
    static std::shared_ptr<LocationManager> create();
    ~LocationManager();

    void setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    void startUpdatingLocation();
    void stopUpdatingLocation();
    bool updating() const;

  private:
    LocationManager() = default;
    friend struct LocationManagers;
    std::weak_ptr<LocationManagerDelegate> delegate_;
    bool updating_ = false;  // guarded by the registry's lock
};

}  // namespace platform::device
