#pragma once
// Text helpers shared by the whole ad SDK: digests of texts, the number format of request
// parameters, and the description text of a value (what a value looks like when it is put into
// a URL or a template).

#include <string>
#include <string_view>

#include "platform/foundation/Data.h"
#include "platform/foundation/Value.h"

// The 16-byte MD5 digest of the text's UTF-8 bytes, and the same as 32 lowercase hex digits.
platform::Data hrn_MD5Data(std::string_view text);
std::string hrn_MD5String(std::string_view text);

// "%f" with trailing zeros removed, and the point too when nothing is left after it:
// 1.5 -> "1.5", 2.0 -> "2", 0.25 -> "0.25".
std::string HRNStringFromDoubleTrimmingZeros(double value);

// The description of a value: a text is itself, an integer its decimal digits, a real its
// shortest round-trip form, a flag "1" or "0", null "<null>", bytes "<0a1b2c3d 4e>", a date
// "2024-01-31 12:00:00 +0000"; arrays and dictionaries in the classic property-list text form.
std::string hrn_description(const platform::Value& value);
