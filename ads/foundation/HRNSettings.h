#pragma once
// The ad SDK's settings: texts that the ad server's constants left in the user defaults under
// "/heron/ads/" + name. Each reader converts the text itself and has its own default.
// Thread-safe (the user defaults are).

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

// "/heron/ads/" + name.
std::string HRNSettingKey(std::string_view name);

// The stored value, or std::nullopt when absent.
std::optional<platform::Value> HRNSettingValue(std::string_view name);

// A value read as a flag the way the server's texts mean it: a number is true when not zero; a
// text is true when, after leading blanks and an optional sign and zeros, it begins with "Y",
// "y", "T", "t" or a digit 1 to 9 ("YES", "true", "1", "+01"); everything else is false.
bool HRNValueBoolValue(const platform::Value& value);

// HRNValueBoolValue of the setting, false when absent.
bool HRNSettingBoolValue(std::string_view name);

// The setting as a number: a number, or a text that begins with one (after blanks);
// std::nullopt when absent or anything else.
std::optional<double> HRNSettingNumberValue(std::string_view name);
