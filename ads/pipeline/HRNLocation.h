#pragma once
// HRNLocation: the location an ad request carries: either a precise fix (latitude, longitude,
// accuracy) or a free-text description. A point whose latitude or longitude is within the
// single-precision epsilon of 0 counts as not precise. Its wire form, "uule" of the request, is
// {"time": microseconds, "lat"/"long": degrees x 10^7 (truncated), "radius": millimetres}.
//
// Plain immutable value; any thread.

#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class HRNLocation {
  public:
    // std::nullopt unless the point is precise. The timestamp is now.
    static std::optional<HRNLocation> initWithLatitudeLongitudeAccuracy(double latitude,
                                                                        double longitude,
                                                                        double accuracy);
    // std::nullopt for an empty text. The timestamp is now.
    static std::optional<HRNLocation> initWithLocationDescription(const std::string& description);
    // From the wire form; a missing key reads as 0. Never fails.
    static HRNLocation initWithDictionary(const platform::Dictionary& dictionary);

    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    double accuracy() const { return accuracy_; }
    double timestamp() const { return timestamp_; }  // seconds since 1970
    void setTimestamp(double seconds) { timestamp_ = seconds; }

    // |latitude| <= 90, |longitude| <= 180, and both beyond the single-precision epsilon.
    bool isPreciseLocation() const;
    // The description when one was given; "%f,%f" of a precise point; "" otherwise.
    std::string locationDescription() const;
    // The wire form of a precise location; std::nullopt otherwise.
    std::optional<platform::Dictionary> dictionaryRepresentation() const;

    // Precise locations match within the epsilon; others by their descriptions.
    bool operator==(const HRNLocation& other) const;
    size_t hash() const;

  private:
    HRNLocation() = default;

    double latitude_ = 0;
    double longitude_ = 0;
    double accuracy_ = 0;
    std::optional<std::string> description_;
    double timestamp_ = 0;
};
