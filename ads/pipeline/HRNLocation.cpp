#include "ads/pipeline/HRNLocation.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "platform/dispatch/Clock.h"

namespace {

constexpr double kEpsilon = 1.1920928955078125e-7;  // FLT_EPSILON

// Truncated toward zero, saturating at the ends of the 64-bit range.
int64_t saturatingTruncation(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
    if (value <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

double number(const platform::Dictionary& dictionary, const char* key) {
    auto found = dictionary.find(key);
    return found == dictionary.end() ? 0 : found->second.asReal();
}

}  // namespace

std::optional<HRNLocation> HRNLocation::initWithLatitudeLongitudeAccuracy(double latitude,
                                                                          double longitude,
                                                                          double accuracy) {
    HRNLocation location;
    location.latitude_ = latitude;
    location.longitude_ = longitude;
    location.accuracy_ = accuracy;
    location.timestamp_ = platform::Clock::wallNow();
    if (!location.isPreciseLocation()) return std::nullopt;
    return location;
}

std::optional<HRNLocation> HRNLocation::initWithLocationDescription(
    const std::string& description) {
    if (description.empty()) return std::nullopt;
    HRNLocation location;
    location.description_ = description;
    location.timestamp_ = platform::Clock::wallNow();
    return location;
}

HRNLocation HRNLocation::initWithDictionary(const platform::Dictionary& dictionary) {
    HRNLocation location;
    location.latitude_ = number(dictionary, "lat") / 10000000.0;
    location.longitude_ = number(dictionary, "long") / 10000000.0;
    location.accuracy_ = number(dictionary, "radius") / 1000.0;
    location.timestamp_ = number(dictionary, "time") / 1000000.0;
    return location;
}

bool HRNLocation::isPreciseLocation() const {
    return std::fabs(latitude_) <= 90 && std::fabs(longitude_) <= 180 &&
           std::fabs(latitude_) > kEpsilon && std::fabs(longitude_) > kEpsilon;
}

std::string HRNLocation::locationDescription() const {
    if (description_) return *description_;
    if (!isPreciseLocation()) return "";
    char text[96];
    std::snprintf(text, sizeof text, "%f,%f", latitude_, longitude_);
    return text;
}

std::optional<platform::Dictionary> HRNLocation::dictionaryRepresentation() const {
    if (!isPreciseLocation()) return std::nullopt;
    return platform::Dictionary{
        {"time", timestamp_ * 1000000.0},
        {"lat", saturatingTruncation(latitude_ * 10000000.0)},
        {"long", saturatingTruncation(longitude_ * 10000000.0)},
        {"radius", accuracy_ * 1000.0},
    };
}

bool HRNLocation::operator==(const HRNLocation& other) const {
    if (this == &other) return true;
    const bool precise = isPreciseLocation();
    if (precise != other.isPreciseLocation()) return false;
    if (precise) {
        return std::fabs(latitude_ - other.latitude_) < kEpsilon &&
               std::fabs(longitude_ - other.longitude_) < kEpsilon &&
               std::fabs(accuracy_ - other.accuracy_) < kEpsilon;
    }
    return locationDescription() == other.locationDescription();
}

size_t HRNLocation::hash() const {
    if (isPreciseLocation()) {
        size_t h = std::hash<int64_t>()(saturatingTruncation(latitude_ * 10000000.0));
        h = h * 31 + std::hash<int64_t>()(saturatingTruncation(longitude_ * 10000000.0));
        return h * 31 + std::hash<double>()(accuracy_ * 1000.0);
    }
    return std::hash<std::string>()(locationDescription());
}
