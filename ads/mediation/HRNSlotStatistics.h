#pragma once
// HRNSlotStatistics: what a slot reports about its own loads with each request ("slots" of the
// quality signals), kept under its ad unit ID. In this form it holds the identifier and an
// empty record; the mediation side fills it with the networks it tried. Main thread only.

#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class HRNSlotStatistics {
  public:
    const std::optional<std::string>& identifier() const { return identifier_; }
    void setIdentifier(std::optional<std::string> identifier) {
        identifier_ = std::move(identifier);
    }
    const platform::Dictionary& statistics() const { return statistics_; }

  private:
    std::optional<std::string> identifier_;
    platform::Dictionary statistics_;
};
