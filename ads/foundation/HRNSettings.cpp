#include "ads/foundation/HRNSettings.h"

#include <cstdlib>

#include "platform/foundation/UserDefaults.h"

std::string HRNSettingKey(std::string_view name) {
    std::string key = "/heron/ads/";
    key += name;
    return key;
}

std::optional<platform::Value> HRNSettingValue(std::string_view name) {
    return platform::UserDefaults::standard().object(HRNSettingKey(name));
}

bool HRNValueBoolValue(const platform::Value& value) {
    if (value.isBool() || value.isNumber()) return value.asReal() != 0;
    const std::string* text = value.string();
    if (!text) return false;
    size_t i = 0;
    while (i < text->size() && ((*text)[i] == ' ' || (*text)[i] == '\t' || (*text)[i] == '\n'))
        ++i;
    if (i < text->size() && ((*text)[i] == '+' || (*text)[i] == '-')) ++i;
    while (i < text->size() && (*text)[i] == '0')
        ++i;
    if (i >= text->size()) return false;
    const char c = (*text)[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool HRNSettingBoolValue(std::string_view name) {
    std::optional<platform::Value> value = HRNSettingValue(name);
    return value && HRNValueBoolValue(*value);
}

std::optional<double> HRNSettingNumberValue(std::string_view name) {
    auto value = HRNSettingValue(name);
    if (!value) return std::nullopt;
    if (value->isNumber()) return value->asReal();
    if (const std::string* text = value->string()) {
        const char* start = text->c_str();
        char* end = nullptr;
        const double number = std::strtod(start, &end);
        if (end != start) return number;
    }
    return std::nullopt;
}
