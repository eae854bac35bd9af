#pragma once
// Small helpers the Plover SDK's classes share: the nil-or-null test of reply values, the
// rounding of times into whole numbers, and the test of a URL text for a scheme and a host.
// Pure functions, any thread.

#include <cstdint>
#include <string>

#include "platform/foundation/Value.h"

class PloverUtil {
  public:
    // True for an absent value (nullptr) and for a JSON null.
    static bool isNullOrNil(const platform::Value* value);
    static bool isNullOrNil(const platform::Value& value) { return value.isNull(); }

    // Nearest whole number, halves away from zero (what reports and play records carry).
    static int64_t roundHalfAwayFromZero(double value);

    // Whether the text parses as a URL with both a scheme and a host.
    static bool hasSchemeAndHost(const std::string& text);

    // Numbers read from reply values the lenient way the server's values are read: numbers
    // and bools convert, a text is read from its leading number ("12.5s" is 12.5), anything
    // else (and an unreadable text) is 0. intValue truncates toward zero and saturates at the
    // 32-bit range. boolValue of a text is true when it starts (after spaces) with "Y", "y",
    // "T", "t" or a digit 1 to 9.
    static double doubleValue(const platform::Value* value);
    static float floatValue(const platform::Value* value);
    static int32_t intValue(const platform::Value* value);
    static int64_t longLongValue(const platform::Value* value);
    static bool boolValue(const platform::Value* value);
};
