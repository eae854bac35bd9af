#pragma once
// Macro substitution in URL templates: a keyword written between two "@" signs ("@timestamp@")
// is replaced by its value. A template that needs a literal "@" writes it as "@@"; such a pair
// never opens or closes a keyword, and hrn_unescapeAts turns it back into one "@" at the end.

#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

// Every "@" doubled.
std::string hrn_escapeAts(std::string_view text);

// Replaces each keyword that matches `keywordPattern` (a regular expression for the text
// between the "@" signs) by `replacement`, taken literally. A malformed pattern replaces
// nothing.
void hrn_replaceAtQuotedKeywordPattern(std::string& text,
                                       std::string_view keywordPattern,
                                       std::string_view replacement);

// For each key, its value's description (with "@" doubled) replaces "@key@"; keys are taken
// literally. Then every keyword left is removed and every "@@" becomes "@".
void hrn_substituteAtQuotedKeywordsWithExpansionDictionary(std::string& text,
                                                           const platform::Dictionary& expansions);

// Every keyword between "@" signs removed, signs included.
void hrn_removeAtQuotedKeywords(std::string& text);
// Every "@@" back to "@".
void hrn_unescapeAts(std::string& text);
