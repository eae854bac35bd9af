#pragma once
// URL and query helpers of the ad SDK: escaping request parameters, appending and reading
// query parameters, and the comparisons the SDK makes between URLs and their parts.
// Pure functions of their arguments; safe from any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/net/URL.h"

// Percent-escapes the text's UTF-8 bytes: only letters, digits and "-._~" stay as they are.
std::string hrn_stringByEscapingAsURLParameter(std::string_view text);

// Appends "key=value" pairs in the dictionary's order (the value's description, escaped; a key
// whose escaped value is empty stands alone). Any "&adurl=" parameter of the URL stays last.
// std::nullopt when the result is no URL (a key with characters a URL cannot hold).
std::optional<platform::net::URL> hrn_URLByAppendingQueryParameters(
    const platform::net::URL& url,
    const platform::Dictionary& parameters);

// The unescaped values of `key` in query order, or std::nullopt when there are none (or no
// key). Keys are compared as written, case-sensitively; a piece whose value is not a valid
// UTF-8 escape is skipped.
std::optional<std::vector<std::string>> hrn_parameterValuesForKey(
    const platform::net::URL& url,
    const std::optional<std::string>& key);
std::optional<std::string> hrn_parameterValueForKey(const platform::net::URL& url,
                                                    const std::optional<std::string>& key);

// The query as a dictionary of texts, pieces cut at "&" and ";", keys and values unescaped,
// keys lowercased when asked; a later key replaces an earlier one.
platform::Dictionary hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(
    const platform::net::URL& url,
    bool convertKeysToLowercase);

// The second and third path segments joined by "/", when the path has at least three.
std::optional<std::string> hrn_impressionTicket(const platform::net::URL& url);

std::string hrn_absoluteStringWithoutFragmentComponent(const platform::net::URL& url);

// Without case sensitivity both sides are lowercased first.
bool hrn_isHostEqualToString(const platform::net::URL& url,
                             std::string_view host,
                             bool caseSensitive);
bool hrn_isSchemeEqualToString(const platform::net::URL& url,
                               std::string_view scheme,
                               bool caseSensitive);

// One final "/" removed.
std::string hrn_stripTrailingSlash(std::string_view text);
// Equal once each side lost one final "/".
bool hrn_isEquivalentToURLString(std::string_view text, std::string_view other);
