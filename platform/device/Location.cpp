#include "platform/device/Location.h"

#include <algorithm>
#include <functional>
#include <mutex>

#include "platform/dispatch/Queue.h"

namespace platform::device {

// The living managers and the location facts, under one lock.
struct LocationManagers {
    std::mutex mutex;
    std::vector<std::weak_ptr<LocationManager>> managers;
    int64_t status = kLocationAuthorizationNotDetermined;
    bool servicesEnabled = true;
    std::optional<LocationFix> fix;

    static LocationManagers& shared() {
        static LocationManagers* registry = new LocationManagers;
        return *registry;
    }

    // Queues the call for the manager on the main queue; `onlyWhileUpdating` drops it when the
    // manager stopped in the meantime.
    static void deliver(const std::shared_ptr<LocationManager>& manager,
                        bool onlyWhileUpdating,
                        std::function<void(LocationManagerDelegate&, LocationManager&)> call) {
        std::weak_ptr<LocationManager> weak = manager;
        Queue::main()->async([weak, onlyWhileUpdating, call = std::move(call)] {
            std::shared_ptr<LocationManager> strong = weak.lock();
            if (!strong) return;
            if (onlyWhileUpdating && !strong->updating()) return;
            if (std::shared_ptr<LocationManagerDelegate> delegate = strong->delegate_.lock()) {
                call(*delegate, *strong);
            }
        });
    }

    std::vector<std::shared_ptr<LocationManager>> living(bool onlyUpdating) {
        std::vector<std::shared_ptr<LocationManager>> result;
        for (const auto& weak : managers) {
            if (auto strong = weak.lock(); strong && (!onlyUpdating || strong->updating_)) {
                result.push_back(std::move(strong));
            }
        }
        return result;
    }
};

namespace {

void deliverFix(const std::shared_ptr<LocationManager>& manager, const LocationFix& fix) {
    LocationManagers::deliver(
        manager, true, [fix](auto& delegate, auto& m) { delegate.didUpdateLocations(m, {fix}); });
}

}  // namespace

int64_t locationAuthorizationStatus() {
    auto& r = LocationManagers::shared();
    std::lock_guard lock(r.mutex);
    return r.status;
}

void setLocationAuthorizationStatus(int64_t status) {
    auto& r = LocationManagers::shared();
    std::vector<std::shared_ptr<LocationManager>> managers;
    {
        std::lock_guard lock(r.mutex);
        if (r.status == status) return;
        r.status = status;
        managers = r.living(false);
    }
    for (const auto& manager : managers) {
        LocationManagers::deliver(manager, false, [status](auto& delegate, auto& m) {
            delegate.didChangeAuthorizationStatus(m, status);
        });
    }
}

bool locationServicesEnabled() {
    auto& r = LocationManagers::shared();
    std::lock_guard lock(r.mutex);
    return r.servicesEnabled;
}

void setLocationServicesEnabled(bool enabled) {
    auto& r = LocationManagers::shared();
    std::lock_guard lock(r.mutex);
    r.servicesEnabled = enabled;
}

void setLocationFix(std::optional<LocationFix> fix) {
    auto& r = LocationManagers::shared();
    std::vector<std::shared_ptr<LocationManager>> managers;
    {
        std::lock_guard lock(r.mutex);
        r.fix = fix;
        if (fix) managers = r.living(true);
    }
    for (const auto& manager : managers)
        deliverFix(manager, *fix);
}

void failLocationUpdates(const Error& error) {
    auto& r = LocationManagers::shared();
    std::vector<std::shared_ptr<LocationManager>> managers;
    {
        std::lock_guard lock(r.mutex);
        managers = r.living(true);
    }
    for (const auto& manager : managers) {
        LocationManagers::deliver(manager, true, [error](auto& delegate, auto& m) {
            delegate.didFailWithError(m, error);
        });
    }
}

std::shared_ptr<LocationManager> LocationManager::create() {
    std::shared_ptr<LocationManager> manager(new LocationManager);
    auto& r = LocationManagers::shared();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.managers, [](const auto& weak) { return weak.expired(); });
    r.managers.push_back(manager);
    return manager;
}

LocationManager::~LocationManager() = default;

void LocationManager::startUpdatingLocation() {
    auto& r = LocationManagers::shared();
    std::optional<LocationFix> fix;
    {
        std::lock_guard lock(r.mutex);
        updating_ = true;
        fix = r.fix;
    }
    if (fix) deliverFix(shared_from_this(), *fix);
}

void LocationManager::stopUpdatingLocation() {
    auto& r = LocationManagers::shared();
    std::lock_guard lock(r.mutex);
    updating_ = false;
}

bool LocationManager::updating() const {
    auto& r = LocationManagers::shared();
    std::lock_guard lock(r.mutex);
    return updating_;
}

}  // namespace platform::device
