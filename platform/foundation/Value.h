#pragma once
// Value: the platform's dynamically typed value (null, bool, integer, real, text, data, date,
// array, dictionary), the stand-in for numbers, strings and collections of mixed content.
// Dictionaries are ordered by key, so their coding is deterministic. Plain value semantics:
// copies are deep; nothing here is thread-safe beyond that.
//
// Typed reads never throw: a read of the wrong type answers the fallback (or nullptr for the
// pointer forms), so callers check shapes of untrusted input by reading.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/foundation/Data.h"

namespace platform {

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;

// A moment as seconds since 1 January 1970 UTC.
struct Date {
    double secondsSince1970 = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

class Value {
  public:
    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(int64_t{i}) {}
    Value(int64_t i) : v_(i) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(platform::Data d) : v_(std::move(d)) {}
    Value(platform::Date d) : v_(d) {}
    Value(platform::Array a) : v_(std::move(a)) {}
    Value(platform::Dictionary d) : v_(std::move(d)) {}

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Pointer reads: nullptr when the value is of another type.
    const std::string* string() const { return std::get_if<std::string>(&v_); }
    const platform::Data* data() const { return std::get_if<platform::Data>(&v_); }
    const platform::Array* array() const { return std::get_if<platform::Array>(&v_); }
    platform::Array* array() { return std::get_if<platform::Array>(&v_); }
    const platform::Dictionary* dictionary() const {
        return std::get_if<platform::Dictionary>(&v_);
    }
    platform::Dictionary* dictionary() { return std::get_if<platform::Dictionary>(&v_); }

    // Scalar reads with a fallback. Numbers convert between integer and real (a real
    // truncates toward zero); bools read as 0 or 1; nothing else converts.
    bool asBool(bool fallback = false) const;
    int64_t asInteger(int64_t fallback = 0) const;
    double asReal(double fallback = 0) const;
    std::string asString(std::string fallback = {}) const;  // text values only
    std::optional<platform::Date> asDate() const;

    // Dictionary member lookup: nullptr when this is no dictionary or the key is absent.
    const Value* find(std::string_view key) const;
    // Makes this a dictionary when it is null, then answers the member (created as null).
    // Aborts on any other type: a broken precondition.
    Value& operator[](std::string_view key);

    // Array length or dictionary size; 0 for scalars.
    size_t size() const;

    friend bool operator==(const Value&, const Value&) = default;

  private:
    std::variant<std::nullptr_t,
                 bool,
                 int64_t,
                 double,
                 std::string,
                 platform::Data,
                 platform::Date,
                 platform::Array,
                 platform::Dictionary>
        v_;
};

}  // namespace platform
