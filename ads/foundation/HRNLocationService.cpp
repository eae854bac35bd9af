#include "ads/foundation/HRNLocationService.h"

#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNQueueLabel.h"

using platform::device::LocationManager;

HRNLocationService::HRNLocationService()
    : locationDataQueue_(platform::Queue::serial(HRNQueueLabel("location-service"))) {}

std::shared_ptr<HRNLocationService> HRNLocationService::sharedInstance() {
    static const auto* shared =
        new std::shared_ptr<HRNLocationService>(std::make_shared<HRNLocationService>());
    return *shared;
}

std::optional<HRNLocation> HRNLocationService::location() const {
    std::optional<HRNLocation> copy;
    locationDataQueue_->sync([&] { copy = location_; });
    return copy;
}

void HRNLocationService::updateLocation() {
    std::weak_ptr<HRNLocationService> weak = weak_from_this();
    HRNDispatchToMainThread([weak] {
        if (auto self = weak.lock()) self->startUpdatingLocation();
    });
}

void HRNLocationService::setFeatureEnabled(bool enabled) {
    featureEnabled_ = enabled;
    if (!enabled) disable();
}

void HRNLocationService::setPublisherAuthorized(bool authorized) {
    publisherAuthorized_ = authorized;
    if (!authorized) disable();
}

void HRNLocationService::startUpdatingLocation() {
    if (!locationManager_) {
        locationManager_ = LocationManager::create();
        locationManager_->setDelegate(weak_from_this());
    }
    const int64_t status = platform::device::locationAuthorizationStatus();
    const bool authorized = status == platform::device::kLocationAuthorizationAlways ||
                            status == platform::device::kLocationAuthorizationWhenInUse;
    if (featureEnabled_ && authorized && publisherAuthorized_ &&
        platform::device::locationServicesEnabled()) {
        locationManager_->startUpdatingLocation();
    } else {
        disable();
    }
}

void HRNLocationService::disable() {
    if (locationManager_) locationManager_->stopUpdatingLocation();
    std::weak_ptr<HRNLocationService> weak = weak_from_this();
    locationDataQueue_->async([weak] {
        if (auto self = weak.lock()) self->location_.reset();
    });
}

void HRNLocationService::stopUpdatingOnMainThread() {
    std::weak_ptr<HRNLocationService> weak = weak_from_this();
    HRNDispatchToMainThread([weak] {
        auto self = weak.lock();
        if (self && self->locationManager_) self->locationManager_->stopUpdatingLocation();
    });
}

void HRNLocationService::didUpdateLocations(
    LocationManager&,
    const std::vector<platform::device::LocationFix>& fixes) {
    if (fixes.empty()) return;
    const platform::device::LocationFix& last = fixes.back();
    // A fix that is not precise (a point on the equator or the prime meridian) is not kept.
    std::optional<HRNLocation> location = HRNLocation::initWithLatitudeLongitudeAccuracy(
        last.latitude, last.longitude, last.horizontalAccuracy);
    std::weak_ptr<HRNLocationService> weak = weak_from_this();
    locationDataQueue_->async([weak, location] {
        if (auto self = weak.lock(); self && location) self->location_ = location;
    });
    stopUpdatingOnMainThread();
}

void HRNLocationService::didFailWithError(LocationManager&, const platform::Error&) {
    stopUpdatingOnMainThread();
}

void HRNLocationService::didChangeAuthorizationStatus(LocationManager&, int64_t status) {
    if (status == platform::device::kLocationAuthorizationAlways ||
        status == platform::device::kLocationAuthorizationWhenInUse) {
        return;
    }
    std::weak_ptr<HRNLocationService> weak = weak_from_this();
    HRNDispatchToMainThread([weak] {
        if (auto self = weak.lock()) self->disable();
    });
}
