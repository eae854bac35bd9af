#include "puffin/networking/PFVPredicate.h"

#include <cmath>
#include <limits>

#include "platform/foundation/PropertyList.h"

using platform::Array;
using platform::Dictionary;
using platform::Error;
using platform::Value;

const char* const kPFVPredicateErrorDomain = "PFVPredicateError";

namespace {

const char* className(PFVClass cls) {
    switch (cls) {
        case PFVClass::Object:
            return "object";
        case PFVClass::String:
            return "string";
        case PFVClass::Number:
            return "number";
        case PFVClass::Array:
            return "array";
        case PFVClass::Dictionary:
            return "dictionary";
    }
    return "object";
}

bool isInstance(const Value& value, PFVClass cls) {
    switch (cls) {
        case PFVClass::Object:
            return true;
        case PFVClass::String:
            return value.isString();
        case PFVClass::Number:
            return value.isNumber() || value.isBool();
        case PFVClass::Array:
            return value.isArray();
        case PFVClass::Dictionary:
            return value.isDictionary();
    }
    return false;
}

// A value as a message or user info shows it: the value itself, or "null" when absent.
Value shown(const Value* value) {
    return value ? *value : Value("null");
}

std::string describe(const Value* value) {
    if (!value || value->isNull()) return "null";
    if (value->isString()) return *value->string();
    auto text = platform::json::serialize(*value);
    return text ? *text : "<value>";
}

// The integer a status code is compared by: the number's value truncated to 32 bits.
int32_t statusValue(const Value& value) {
    if (value.isBool()) return value.asBool() ? 1 : 0;
    if (value.isInteger()) return static_cast<int32_t>(static_cast<uint32_t>(value.asInteger()));
    const double d = value.asReal();
    if (!std::isfinite(d) || d >= 2147483648.0 || d < -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(d);
}

}  // namespace

PFVPredicateRef PFVPredicateWithBlock(PFVPredicate::Block block) {
    return std::make_shared<const PFVPredicate>(std::move(block));
}

bool PFVErrorWithMessage(bool condition,
                         const std::string& message,
                         Error* error,
                         Dictionary extra) {
    if (!condition && error) {
        extra["error"] = message;
        *error = Error(kPFVPredicateErrorDomain, 1, std::move(extra));
    }
    return condition;
}

PFVPredicateRef PFVInstanceOf(PFVClass cls) {
    return PFVPredicateWithBlock([cls](const Value* value, Error* error) {
        return PFVErrorWithMessage(value && isInstance(*value, cls),
                                   std::string("expecting instance of class ") + className(cls),
                                   error);
    });
}

PFVPredicateRef PFVString() {
    static const PFVPredicateRef predicate = PFVInstanceOf(PFVClass::String);
    return predicate;
}

PFVPredicateRef PFVNumber() {
    static const PFVPredicateRef predicate = PFVInstanceOf(PFVClass::Number);
    return predicate;
}

PFVPredicateRef PFVNull() {
    static const PFVPredicateRef predicate =
        PFVPredicateWithBlock([](const Value* value, Error* error) {
            return PFVErrorWithMessage(value == nullptr, "must be null", error);
        });
    return predicate;
}

PFVPredicateRef PFVEqual(Value expected) {
    return PFVPredicateWithBlock([expected](const Value* value, Error* error) {
        return PFVErrorWithMessage(
            value && *value == expected,
            "must be equal: " + describe(value) + " != " + describe(&expected), error);
    });
}

PFVPredicateRef PFVInSet(Array options) {
    return PFVPredicateWithBlock([options](const Value* value, Error* error) {
        bool found = false;
        if (value)
            for (const Value& option : options)
                found = found || option == *value;
        return PFVErrorWithMessage(found, "must be in set of values provided", error,
                                   Dictionary{{"options", options}, {"object", shown(value)}});
    });
}

PFVPredicateRef PFVUnion(std::vector<PFVPredicateRef> predicates) {
    return PFVPredicateWithBlock([predicates](const Value* value, Error* error) {
        for (const auto& predicate : predicates) {
            Error child;
            if (!predicate->block()(value, &child))
                return PFVErrorWithMessage(false, "union predicate failed", error,
                                           Dictionary{{"failure", child.userInfo}});
        }
        return true;
    });
}

PFVPredicateRef PFVOption(std::vector<PFVPredicateRef> predicates) {
    return PFVPredicateWithBlock([predicates](const Value* value, Error* error) {
        Array failures;
        for (const auto& predicate : predicates) {
            Error child;
            if (predicate->block()(value, &child)) return true;
            failures.emplace_back(std::move(child.userInfo));
        }
        return PFVErrorWithMessage(false, "option predicate failed", error,
                                   Dictionary{{"failures", std::move(failures)}});
    });
}

PFVPredicateRef PFVOptional(PFVPredicateRef predicate) {
    if (!predicate) return PFVNull();
    return PFVOption({PFVNull(), std::move(predicate)});
}

PFVPredicateRef PFVStatusCode() {
    static const PFVPredicateRef predicate = PFVUnion({
        PFVNumber(),
        PFVPredicateWithBlock([](const Value* value, Error* error) {
            const int32_t code = statusValue(*value);
            return PFVErrorWithMessage(code >= 200 && code < 300,
                                       "must be a valid status code (>=200 && <300)", error);
        }),
    });
    return predicate;
}

PFVPredicateRef PFVArray(PFVPredicateRef element) {
    return PFVPredicateWithBlock([element](const Value* value, Error* error) {
        if (!value || !value->isArray())
            return PFVErrorWithMessage(false, "expecting array", error,
                                       Dictionary{{"object", shown(value)}});
        Dictionary failures;
        bool valid = true;
        const Array& items = *value->array();
        for (size_t i = 0; i < items.size(); ++i) {
            Error child;
            if (!element->block()(&items[i], &child)) {
                valid = false;
                failures[std::to_string(i)] =
                    Dictionary{{"error", child.userInfo}, {"child", items[i]}};
            }
        }
        return PFVErrorWithMessage(valid, "array children invalid", error,
                                   Dictionary{{"failures", std::move(failures)}});
    });
}

PFVPredicateRef PFVDictionary(PFVMask mask) {
    return PFVPredicateWithBlock([mask](const Value* value, Error* error) {
        if (!value) return PFVErrorWithMessage(false, "nil dictionary", error);
        if (!value->isDictionary())
            return PFVErrorWithMessage(false, "expecting dictionary", error,
                                       Dictionary{{"object", *value}});
        const Dictionary& entries = *value->dictionary();
        Dictionary failures;
        bool valid = true;
        auto check = [&](const std::string& key, const Value* item) {
            auto it = mask.find(key);
            if (it == mask.end()) return;
            Error child;
            if (!it->second->block()(item, &child)) {
                valid = false;
                failures[key] = Dictionary{{"error", child.userInfo}, {"key", key}};
            }
        };
        for (const auto& [key, item] : entries)
            check(key, &item);
        for (const auto& [key, predicate] : mask)
            if (!entries.contains(key)) check(key, nullptr);
        return PFVErrorWithMessage(valid, "dictionary children invalid", error,
                                   Dictionary{{"failures", std::move(failures)}});
    });
}

bool matchesPFVPredicate(const Value* value, const PFVPredicateRef& predicate, Error* error) {
    return predicate->block()(value, error);
}

bool matchesMask(const Value& dictionary, const PFVMask& mask, bool, Error* error) {
    return PFVDictionary(mask)->block()(&dictionary, error);
}

bool matchesPredicate(const Value& dictionary, const PFVPredicateRef& predicate, Error* error) {
    return matchesPFVPredicate(&dictionary, predicate, error);
}
