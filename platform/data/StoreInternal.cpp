#include "platform/data/StoreInternal.h"

#include "platform/data/DataError.h"

namespace platform::data::detail {

namespace {

size_t indexOf(const Entity& entity, const std::string& key) {
    for (size_t i = 0; i < entity.attributes.size(); ++i)
        if (entity.attributes[i].name == key) return i;
    return entity.attributes.size();
}

bool comparable(AttributeType type) {
    return type != AttributeType::Binary && type != AttributeType::Transformable;
}

bool valueFits(const Value& v, AttributeType type) {
    if (v.isNull()) return true;
    switch (type) {
        case AttributeType::String:
            return v.isString();
        case AttributeType::Date:
            return v.isDate();
        case AttributeType::Integer32:
        case AttributeType::Integer64:
        case AttributeType::Double:
        case AttributeType::Boolean:
            return v.isNumber() || v.isBool();
        default:
            return false;
    }
}

}  // namespace

Error dataError(int code, const std::string& description) {
    return Error::withDescription(kDataErrorDomain, code, description);
}

std::optional<int> compareValues(const Value& a, const Value& b) {
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    const bool aNumber = a.isNumber() || a.isBool();
    const bool bNumber = b.isNumber() || b.isBool();
    if (aNumber && bNumber) {
        if (a.isReal() || b.isReal()) return sign(a.asReal(), b.asReal());
        return sign(a.asInteger(), b.asInteger());
    }
    if (a.isString() && b.isString()) {
        const int c = a.string()->compare(*b.string());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.isDate() && b.isDate())
        return sign(a.asDate()->secondsSince1970, b.asDate()->secondsSince1970);
    return std::nullopt;
}

bool matches(const Predicate& p, const Entity& entity, const std::vector<Value>& values) {
    switch (p.kind()) {
        case Predicate::Kind::And:
            for (const auto& part : p.parts())
                if (!matches(part, entity, values)) return false;
            return true;
        case Predicate::Kind::Or:
            for (const auto& part : p.parts())
                if (matches(part, entity, values)) return true;
            return false;
        case Predicate::Kind::Not:
            return !matches(p.parts().front(), entity, values);
        case Predicate::Kind::Compare:
            break;
    }
    const Value& a = values[indexOf(entity, p.key())];
    const Value& b = p.value();
    using Op = Predicate::Operator;
    if (a.isNull() || b.isNull()) {
        const bool both = a.isNull() && b.isNull();
        if (p.op() == Op::Equal) return both;
        if (p.op() == Op::NotEqual) return !both;
        return false;
    }
    const auto c = compareValues(a, b);
    if (!c) return p.op() == Op::NotEqual;
    switch (p.op()) {
        case Op::Equal:
            return *c == 0;
        case Op::NotEqual:
            return *c != 0;
        case Op::Less:
            return *c < 0;
        case Op::LessOrEqual:
            return *c <= 0;
        case Op::Greater:
            return *c > 0;
        case Op::GreaterOrEqual:
            return *c >= 0;
    }
    return false;
}

bool checkPredicate(const Predicate& p, const Entity& entity, Error* error) {
    if (p.kind() != Predicate::Kind::Compare) {
        if (p.kind() == Predicate::Kind::Not && p.parts().size() != 1) {
            setError(error, dataError(kDataErrorValidation, "NOT takes one predicate"));
            return false;
        }
        for (const auto& part : p.parts())
            if (!checkPredicate(part, entity, error)) return false;
        return true;
    }
    const Attribute* attribute = entity.attribute(p.key());
    if (!attribute || !comparable(attribute->type)) {
        setError(error,
                 dataError(kDataErrorValidation,
                           "\"" + p.key() + "\" is no comparable attribute of " + entity.name));
        return false;
    }
    if (!valueFits(p.value(), attribute->type)) {
        setError(error, dataError(kDataErrorValidation,
                                  "\"" + p.key() + "\" is compared with a value of another kind"));
        return false;
    }
    return true;
}

bool checkSort(const std::vector<SortDescriptor>& sort, const Entity& entity, Error* error) {
    for (const auto& d : sort) {
        const Attribute* attribute = entity.attribute(d.key);
        if (!attribute || !comparable(attribute->type)) {
            setError(error, dataError(kDataErrorValidation,
                                      "cannot sort " + entity.name + " by \"" + d.key + "\""));
            return false;
        }
    }
    return true;
}

}  // namespace platform::data::detail
