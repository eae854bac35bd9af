#include "ads/foundation/HRNURLAdditions.h"

#include <cctype>

#include "ads/foundation/HRNStringAdditions.h"
#include "platform/foundation/Text.h"

namespace {

using platform::net::URL;

std::vector<std::string_view> split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || separators.find(text[i]) != std::string_view::npos) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

// Splits at "=" into exactly two parts, or not at all.
std::optional<std::pair<std::string_view, std::string_view>> keyValue(std::string_view piece) {
    auto parts = split(piece, "=");
    if (parts.size() != 2) return std::nullopt;
    return std::make_pair(parts[0], parts[1]);
}

std::string lowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string hrn_stringByEscapingAsURLParameter(std::string_view text) {
    return platform::percentEscape(text);
}

std::optional<URL> hrn_URLByAppendingQueryParameters(const URL& url,
                                                     const platform::Dictionary& parameters) {
    std::string text = url.absoluteString();
    std::string separator = url.query() && !url.query()->empty() ? "&" : "?";
    std::string adurl;
    if (size_t at = text.find("&adurl="); at != std::string::npos) {
        adurl = text.substr(at);
        text.erase(at);
    }
    for (const auto& [key, value] : parameters) {
        text += separator;
        separator = "&";
        text += key;
        std::string escaped = hrn_stringByEscapingAsURLParameter(hrn_description(value));
        if (!escaped.empty()) text += "=" + escaped;
    }
    text += adurl;
    return URL::parse(text);
}

std::optional<std::vector<std::string>> hrn_parameterValuesForKey(
    const URL& url,
    const std::optional<std::string>& key) {
    if (!key || !url.query()) return std::nullopt;
    std::vector<std::string> values;
    for (std::string_view piece : split(*url.query(), "&")) {
        auto pair = keyValue(piece);
        if (!pair || pair->first != *key) continue;
        if (auto value = platform::percentUnescape(pair->second))
            values.push_back(std::move(*value));
    }
    if (values.empty()) return std::nullopt;
    return values;
}

std::optional<std::string> hrn_parameterValueForKey(const URL& url,
                                                    const std::optional<std::string>& key) {
    auto values = hrn_parameterValuesForKey(url, key);
    if (!values) return std::nullopt;
    return values->front();
}

platform::Dictionary hrn_dictionaryFromQueryParametersAndConvertKeysToLowercase(
    const URL& url,
    bool convertKeysToLowercase) {
    platform::Dictionary result;
    if (!url.query()) return result;
    for (std::string_view piece : split(*url.query(), "&;")) {
        auto pair = keyValue(piece);
        if (!pair) continue;
        auto key = platform::percentUnescape(pair->first);
        auto value = platform::percentUnescape(pair->second);
        if (!key || !value) continue;
        if (convertKeysToLowercase) *key = lowercased(*key);
        result.insert_or_assign(std::move(*key), platform::Value(std::move(*value)));
    }
    return result;
}

std::optional<std::string> hrn_impressionTicket(const URL& url) {
    std::vector<std::string_view> segments;
    for (std::string_view s : split(url.path(), "/"))
        if (!s.empty()) segments.push_back(s);
    if (segments.size() < 3) return std::nullopt;
    return std::string(segments[1]) + "/" + std::string(segments[2]);
}

std::string hrn_absoluteStringWithoutFragmentComponent(const URL& url) {
    return url.withoutFragment().absoluteString();
}

bool hrn_isHostEqualToString(const URL& url, std::string_view host, bool caseSensitive) {
    if (caseSensitive) return url.host() == host;
    return lowercased(url.host()) == lowercased(host);
}

bool hrn_isSchemeEqualToString(const URL& url, std::string_view scheme, bool caseSensitive) {
    if (caseSensitive) return url.scheme() == scheme;
    return lowercased(url.scheme()) == lowercased(scheme);
}

std::string hrn_stripTrailingSlash(std::string_view text) {
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return std::string(text);
}

bool hrn_isEquivalentToURLString(std::string_view text, std::string_view other) {
    return hrn_stripTrailingSlash(text) == hrn_stripTrailingSlash(other);
}
