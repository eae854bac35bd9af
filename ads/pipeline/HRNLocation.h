#pragma once
// HRNLocation: one location fix as an ad request carries it. Plain immutable value; any thread.

#include "platform/foundation/Value.h"

class HRNLocation {
  public:
    // Degrees, degrees, metres.
    HRNLocation(double latitude, double longitude, double accuracy)
        : latitude_(latitude), longitude_(longitude), accuracy_(accuracy) {}

    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    double accuracy() const { return accuracy_; }

    // The request form: {"lat", "long", "accuracy"} as trimmed decimal texts.
    platform::Dictionary dictionaryRepresentation() const;

  private:
    double latitude_;
    double longitude_;
    double accuracy_;
};
