#pragma once
// Percent-escaping of texts for URL arguments, in UTF-8. Texts are UTF-8; each byte of a
// multi-byte character is escaped on its own ("中" gives "%E4%B8%AD"), upper-case hex.

#include <optional>
#include <string>
#include <string_view>

// Escapes every character but letters, digits and -._~ (so also !*'();:@&=+$,/?%#[]).
std::string gtm_stringByEscapingForURLArgument(std::string_view text);

// Escapes every character a URL does not allow; letters, digits, -._~ and ;/?:@=&$+!*'(),%#[]
// stay as they are.
std::string gtm_stringByEscapingForURLArgumentOnly(std::string_view text);

// Every "+" becomes a blank, then percent escapes are decoded. None when an escape is not "%"
// and two hex digits, or the decoded bytes are not UTF-8.
std::optional<std::string> gtm_stringByUnescapingFromURLArgument(std::string_view text);

// As gtm_stringByUnescapingFromURLArgument, after each backslash followed by "X" or "x" has
// become "%" (a JSON-style "\x41" reads as "A").
std::optional<std::string> gtm_stringByEncodeByJsonAndUrlEncode(std::string_view text);
