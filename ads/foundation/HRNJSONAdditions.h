#pragma once
// JSON reading and writing for the ad SDK, and typed look-ups in dictionaries of mixed values
// (settings and page messages arrive as such dictionaries; a reader takes a value only when it
// has the expected kind).

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

// The JSON value of the text; top-level fragments ("3", "\"a\"") are accepted. std::nullopt
// and *error set for malformed text.
std::optional<platform::Value> hrn_decodedJSONObjectError(std::string_view text,
                                                          platform::Error* error);

// The dictionary as JSON text, pretty-printed when asked. A dictionary that JSON cannot hold
// (bytes, dates, NaN or infinite numbers, text that is not UTF-8) gives std::nullopt and the
// internal error 2 "Invalid JSON object.".
std::optional<std::string> hrn_JSONStringPretty(const platform::Dictionary& dictionary,
                                                bool pretty,
                                                platform::Error* error);

// The dictionary as compact JSON to be placed into script text: U+2028 and U+2029, legal in JSON
// strings yet line terminators to older script engines, are written as escapes. std::nullopt
// when the dictionary cannot be written as JSON.
std::optional<std::string> hrn_JSONStringForScript(const platform::Dictionary& dictionary);

// A copy that JSON can hold: nested dictionaries made safe in turn, and every other value that
// JSON cannot hold replaced by its description text. Unchanged when already safe.
platform::Dictionary hrn_JSONSafeDictionary(const platform::Dictionary& dictionary);

// The value under `key` when it is of the given kind, else nullptr. Integer, Real and Bool all
// ask for "a number" and accept any of the three.
const platform::Value* hrn_objectForKeyIfIsKindOfClass(const platform::Dictionary& dictionary,
                                                       std::string_view key,
                                                       platform::Value::Type kind);
