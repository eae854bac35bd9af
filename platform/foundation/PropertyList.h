#pragma once
// Property lists (XML and binary) and JSON for Value.
//
// Property lists carry every Value type except null; JSON carries null, bool, numbers, text,
// arrays and dictionaries (data and dates are refused by the writer). Readers of untrusted
// bytes answer std::nullopt with an Error and never crash on malformed input.
// XML dates keep whole seconds (the format's precision); binary ones keep microseconds. Dates
// from 1933 to 2069 can be written; text must be UTF-8 without NUL bytes.
// Errors: domain "platform.plist" or "platform.json"; code 1 malformed input, 2 a value that
// cannot be written, 3 (plist files) a file that cannot be read or written.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace platform::plist {

enum class Format { XML, Binary };

// Reads a property list in either format.
std::optional<Value> parse(const Data& bytes, Error* error = nullptr);
std::optional<Data> serialize(const Value& value, Format format, Error* error = nullptr);

// File forms: a missing file reads as std::nullopt; writes are atomic.
std::optional<Value> readFile(const std::filesystem::path& path, Error* error = nullptr);
bool writeFile(const std::filesystem::path& path,
               const Value& value,
               Format format = Format::XML,
               Error* error = nullptr);

}  // namespace platform::plist

namespace platform::json {

// Parses a JSON text; top-level fragments ("3", "\"a\"") are accepted.
std::optional<Value> parse(std::string_view text, Error* error = nullptr);
// Writes compact or pretty JSON; std::nullopt when the value holds data or dates.
std::optional<std::string> serialize(const Value& value,
                                     bool pretty = false,
                                     Error* error = nullptr);

}  // namespace platform::json
