#include "plover/PloverUtil.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/net/URL.h"

bool PloverUtil::isNullOrNil(const platform::Value* value) {
    return value == nullptr || value->isNull();
}

int64_t PloverUtil::roundHalfAwayFromZero(double value) {
    if (!std::isfinite(value)) return 0;
    const double rounded = std::round(value);  // halves away from zero
    if (rounded >= static_cast<double>(std::numeric_limits<int64_t>::max()))
        return std::numeric_limits<int64_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int64_t>::min()))
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(rounded);
}

bool PloverUtil::hasSchemeAndHost(const std::string& text) {
    const auto url = platform::net::URL::parse(text);
    return url && url->isAbsolute() && !url->scheme().empty() && !url->host().empty();
}

namespace {

// The leading number of a text, as strtod reads it after spaces; 0 when there is none.
double leadingNumber(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value)) return 0;
    return value;
}

}  // namespace

double PloverUtil::doubleValue(const platform::Value* value) {
    if (!value) return 0;
    if (value->isNumber() || value->isBool()) return value->asReal();
    if (const std::string* text = value->string()) return leadingNumber(*text);
    return 0;
}

float PloverUtil::floatValue(const platform::Value* value) {
    const double d = doubleValue(value);
    if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
    if (d < std::numeric_limits<float>::lowest()) return std::numeric_limits<float>::lowest();
    return static_cast<float>(d);
}

int64_t PloverUtil::longLongValue(const platform::Value* value) {
    if (!value) return 0;
    if (value->isInteger() || value->isBool()) return value->asInteger();
    const double d = doubleValue(value);
    if (d >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (d <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(d);
}

int32_t PloverUtil::intValue(const platform::Value* value) {
    const int64_t n = longLongValue(value);
    if (n > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (n < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(n);
}

bool PloverUtil::boolValue(const platform::Value* value) {
    if (!value) return false;
    if (value->isBool()) return value->asBool();
    if (value->isInteger()) return value->asInteger() != 0;
    if (value->isReal()) return value->asReal() != 0;
    if (const std::string* text = value->string()) {
        size_t i = text->find_first_not_of(" \t\n\r");
        if (i == std::string::npos) return false;
        if ((*text)[i] == '+' || (*text)[i] == '-') ++i;
        while (i < text->size() && (*text)[i] == '0')
            ++i;
        if (i >= text->size()) return false;
        const char c = (*text)[i];
        return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    return false;
}
