#include "ads/foundation/HRNReplaceContentAdditions.h"

#include "ads/foundation/HRNStringAdditions.h"
#include "platform/foundation/Regex.h"

namespace {

// An "@" not preceded by another "@" after any number of "@@" pairs (kept in groups 1 and 2)
// opens and closes a keyword.
constexpr std::string_view kAtQuote = "(?<!@)((?:@@)*)@";

}  // namespace

std::string hrn_escapeAts(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '@') out += '@';
    }
    return out;
}

void hrn_replaceAtQuotedKeywordPattern(std::string& text,
                                       std::string_view keywordPattern,
                                       std::string_view replacement) {
    std::string pattern(kAtQuote);
    pattern += keywordPattern;
    pattern += kAtQuote;
    auto regex = platform::Regex::compile(pattern);
    if (!regex) return;
    text = regex->replaceAll(text, "$1" + platform::Regex::escapeTemplate(replacement) + "$2");
}

void hrn_substituteAtQuotedKeywordsWithExpansionDictionary(std::string& text,
                                                           const platform::Dictionary& expansions) {
    for (const auto& [key, value] : expansions) {
        // The key is a name, not a pattern: "a.b" must not match "@axb@".
        hrn_replaceAtQuotedKeywordPattern(text, platform::Regex::escapePattern(key),
                                          hrn_escapeAts(hrn_description(value)));
    }
    hrn_removeAtQuotedKeywords(text);
    hrn_unescapeAts(text);
}

void hrn_removeAtQuotedKeywords(std::string& text) {
    hrn_replaceAtQuotedKeywordPattern(text, "[^@]+", "");
}

void hrn_unescapeAts(std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '@' && i + 1 < text.size() && text[i + 1] == '@') ++i;
    }
    text = std::move(out);
}
