#include "puffin/core/PFUtilities.h"

#include <cctype>

using platform::Dictionary;
using platform::Value;

Dictionary PFUtilities::mergedDictionaryFromDictionaryWithPrecedence(
    const std::optional<Value>& precedence,
    const std::optional<Value>& defaults) {
    auto copyOf = [](const std::optional<Value>& value) {
        return value && value->isDictionary() ? *value->dictionary() : Dictionary{};
    };
    if (!precedence || !precedence->isDictionary() || !defaults || !defaults->isDictionary())
        return precedence && precedence->isDictionary() ? copyOf(precedence) : copyOf(defaults);
    Dictionary merged = *defaults->dictionary();
    for (const auto& [key, value] : *precedence->dictionary()) {
        auto existing = merged.find(key);
        if (value.isDictionary() && existing != merged.end())
            existing->second =
                mergedDictionaryFromDictionaryWithPrecedence(value, existing->second);
        else
            merged[key] = value;
    }
    return merged;
}

platform::Array PFUtilities::deepCopyArray(const platform::Array& array) {
    return array;
}

Dictionary PFUtilities::deepCopyDictionary(const Dictionary& dictionary) {
    return dictionary;
}

std::optional<std::string> PFUtilities::base64Encode(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text->data());
    const size_t n = text->size();
    for (size_t i = 0; i < n; i += 3) {
        const uint32_t chunk = (uint32_t{bytes[i]} << 16) | (i + 1 < n ? bytes[i + 1] << 8 : 0) |
                               (i + 2 < n ? bytes[i + 2] : 0);
        out += kAlphabet[(chunk >> 18) & 63];
        out += kAlphabet[(chunk >> 12) & 63];
        out += i + 1 < n ? kAlphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < n ? kAlphabet[chunk & 63] : '=';
    }
    return out;
}

const std::map<uint64_t, std::string>& PFMediationNameForMediation() {
    static const std::map<uint64_t, std::string> table = {
        {1, "AdMarvel"}, {2, "Fuse"},       {3, "Fyber"}, {4, "HeyZap"},
        {5, "MoPub"},    {6, "Supersonic"}, {7, "Heron"}, {0, "Other"},
    };
    return table;
}

const std::map<uint64_t, std::string>& PFFrameworkNameForFramework() {
    static const std::map<uint64_t, std::string> table = {
        {0, "Unity"},    {1, "Corona"},   {2, "AIR"},           {3, "GameSalad"}, {4, "Cordova"},
        {5, "CocoonJS"}, {6, "Cocos2dx"}, {7, "Prime31Unreal"}, {8, "Weeby"},     {9, "Other"},
    };
    return table;
}

int PFCompareVersions(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && digit(a[ei]))
                ++ei;
            while (ej < b.size() && digit(b[ej]))
                ++ej;
            std::string x = a.substr(i, ei - i), y = b.substr(j, ej - j);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
            if (int c = x.compare(y)) return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
            ++i;
            ++j;
        }
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}
