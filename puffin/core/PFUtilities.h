#pragma once
// Small helpers of the SDK's networking code: a recursive dictionary merge, deep copies, Base64
// of a text, and the name tables by which the facade reports its host's mediation layer and
// wrapper framework. Pure functions; any thread.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class PFUtilities {
  public:
    // Every key of both; where both hold a key the precedence value wins, except that two
    // dictionaries are merged by the same rule. Without a precedence dictionary, or when the
    // default is no dictionary, a copy of the other argument (an empty dictionary when that is
    // no dictionary either).
    static platform::Dictionary mergedDictionaryFromDictionaryWithPrecedence(
        const std::optional<platform::Value>& precedence,
        const std::optional<platform::Value>& defaults);
    static platform::Array deepCopyArray(const platform::Array& array);
    static platform::Dictionary deepCopyDictionary(const platform::Dictionary& dictionary);
    // Standard Base64 (RFC 4648, padded, no line breaks) of the text's UTF-8 bytes.
    static std::optional<std::string> base64Encode(const std::optional<std::string>& text);
};

// Mediation value -> name: 0 "Other", 1 "AdMarvel", ... 7 "Heron".
const std::map<uint64_t, std::string>& PFMediationNameForMediation();
// Framework value -> name: 0 "Unity", ... 9 "Other".
const std::map<uint64_t, std::string>& PFFrameworkNameForFramework();

// Compares version texts the way people read them: runs of digits by their value ("10" after
// "9"), other characters one by one. Negative, zero or positive.
int PFCompareVersions(const std::string& a, const std::string& b);
