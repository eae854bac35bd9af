#include "platform/foundation/Value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace platform {

bool Value::asBool(bool fallback) const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(v_);
        case Type::Integer:
            return std::get<int64_t>(v_) != 0;
        case Type::Real:
            return std::get<double>(v_) != 0;
        default:
            return fallback;
    }
}

int64_t Value::asInteger(int64_t fallback) const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(v_) ? 1 : 0;
        case Type::Integer:
            return std::get<int64_t>(v_);
        case Type::Real: {
            // Casting a real outside the integer range is undefined; clamp instead.
            double d = std::get<double>(v_);
            if (std::isnan(d)) return fallback;
            if (d >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
            if (d < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
            return static_cast<int64_t>(d);
        }
        default:
            return fallback;
    }
}

double Value::asReal(double fallback) const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(v_) ? 1 : 0;
        case Type::Integer:
            return static_cast<double>(std::get<int64_t>(v_));
        case Type::Real:
            return std::get<double>(v_);
        default:
            return fallback;
    }
}

std::string Value::asString(std::string fallback) const {
    if (auto s = string()) return *s;
    return fallback;
}

std::optional<platform::Date> Value::asDate() const {
    if (auto d = std::get_if<platform::Date>(&v_)) return *d;
    return std::nullopt;
}

const Value* Value::find(std::string_view key) const {
    auto dict = dictionary();
    if (!dict) return nullptr;
    auto it = dict->find(key);
    return it == dict->end() ? nullptr : &it->second;
}

Value& Value::operator[](std::string_view key) {
    if (isNull()) v_ = platform::Dictionary{};
    auto dict = dictionary();
    if (!dict) {
        std::fprintf(stderr, "platform::Value: operator[] on a value that is no dictionary\n");
        std::abort();
    }
    auto it = dict->find(key);
    if (it == dict->end()) it = dict->emplace(std::string(key), Value()).first;
    return it->second;
}

size_t Value::size() const {
    if (auto a = array()) return a->size();
    if (auto d = dictionary()) return d->size();
    return 0;
}

}  // namespace platform
