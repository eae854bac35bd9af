#include "ads/foundation/HRNJSONAdditions.h"

#include "ads/foundation/HRNErrorAdditions.h"
#include "ads/foundation/HRNStringAdditions.h"
#include "platform/foundation/PropertyList.h"

namespace {

bool isValidJSONValue(const platform::Value& value) {
    platform::Dictionary probe;
    probe.emplace("key", value);
    return platform::json::serialize(platform::Value(std::move(probe))).has_value();
}

bool isNumberKind(platform::Value::Type t) {
    using Type = platform::Value::Type;
    return t == Type::Integer || t == Type::Real || t == Type::Bool;
}

}  // namespace

std::optional<platform::Value> hrn_decodedJSONObjectError(std::string_view text,
                                                          platform::Error* error) {
    return platform::json::parse(text, error);
}

std::optional<std::string> hrn_JSONStringPretty(const platform::Dictionary& dictionary,
                                                bool pretty,
                                                platform::Error* error) {
    auto text = platform::json::serialize(platform::Value(dictionary), pretty);
    if (!text) {
        platform::setError(error, hrn_errorWithCode(HRNInternalErrorCodeInternalError,
                                                    std::string("Invalid JSON object.")));
    }
    return text;
}

platform::Dictionary hrn_JSONSafeDictionary(const platform::Dictionary& dictionary) {
    if (dictionary.empty()) return dictionary;
    platform::Dictionary copy = dictionary;
    for (auto& [key, value] : copy) {
        if (const platform::Dictionary* nested = value.dictionary()) {
            platform::Dictionary safe = hrn_JSONSafeDictionary(*nested);
            if (safe != *nested) value = platform::Value(std::move(safe));
        } else if (!isValidJSONValue(value)) {
            value = platform::Value(hrn_description(value));
        }
    }
    return copy;
}

const platform::Value* hrn_objectForKeyIfIsKindOfClass(const platform::Dictionary& dictionary,
                                                       std::string_view key,
                                                       platform::Value::Type kind) {
    auto it = dictionary.find(key);
    if (it == dictionary.end()) return nullptr;
    const platform::Value& value = it->second;
    bool matches = isNumberKind(kind) ? isNumberKind(value.type()) : value.type() == kind;
    return matches ? &value : nullptr;
}

std::optional<std::string> hrn_JSONStringForScript(const platform::Dictionary& dictionary) {
    platform::Error error;
    auto json = hrn_JSONStringPretty(dictionary, false, &error);
    if (!json) return std::nullopt;
    std::string escaped;
    escaped.reserve(json->size());
    for (size_t i = 0; i < json->size(); ++i) {
        if (i + 2 < json->size() && (*json)[i] == '\xE2' && (*json)[i + 1] == '\x80' &&
            ((*json)[i + 2] == '\xA8' || (*json)[i + 2] == '\xA9')) {
            escaped += (*json)[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            escaped += (*json)[i];
        }
    }
    return escaped;
}
