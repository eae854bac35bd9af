#pragma once
// Byte-level text helpers shared by the platform and the SDKs: UTF-8 well-formedness and
// percent-escaping of URL text. Pure functions, any thread.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. NUL bytes are
// allowed (callers that refuse them check separately).
bool isValidUTF8(std::string_view text);

// Every byte except the unreserved ASCII characters (letters, digits, "-._~") and those in
// `keep` becomes "%XX" (uppercase hex). Bytes above 127 are always escaped.
std::string percentEscape(std::string_view text, std::string_view keep = {});

// "%XX" escapes decoded; std::nullopt for a malformed escape or a result that is not UTF-8.
// "+" stays "+".
std::optional<std::string> percentUnescape(std::string_view text);

}  // namespace platform
