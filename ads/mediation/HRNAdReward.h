#pragma once
// HRNAdReward: what a rewarded video grants once it has been watched, a reward type and an
// amount. Mediation adapters, the ad page's reward message and the mediation answer's reward
// list make them; the application hears them through its rewarded-video delegate. A reward
// always has both fields: the factories answer null when either is missing.
//
// Immutable; shareable across threads.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class HRNAdReward {
  public:
    HRNAdReward(std::string type, double amount) : type_(std::move(type)), amount_(amount) {}

    // Null unless both are given.
    static std::shared_ptr<HRNAdReward> createWithRewardType(const std::optional<std::string>& type,
                                                             const std::optional<double>& amount);
    // Reads "rb_type" (a text) and "rb_amount" (a number; a numeric text does not count).
    // Null when either is missing or of another kind, or when the value is no dictionary.
    static std::shared_ptr<HRNAdReward> createWithRewardDictionary(
        const platform::Value* dictionary);

    // May be empty.
    const std::string& type() const { return type_; }
    // The amount as a decimal number.
    double amount() const { return amount_; }

  private:
    std::string type_;
    double amount_;
};
