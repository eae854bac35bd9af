#include "platform/data/FetchRequest.h"

namespace platform::data {

Predicate Predicate::compare(std::string key, Operator op, Value value) {
    Predicate p;
    p.kind_ = Kind::Compare;
    p.key_ = std::move(key);
    p.op_ = op;
    p.value_ = std::move(value);
    return p;
}

Predicate Predicate::allOf(std::vector<Predicate> parts) {
    Predicate p;
    p.kind_ = Kind::And;
    p.parts_ = std::move(parts);
    return p;
}

Predicate Predicate::anyOf(std::vector<Predicate> parts) {
    Predicate p;
    p.kind_ = Kind::Or;
    p.parts_ = std::move(parts);
    return p;
}

Predicate Predicate::negation(Predicate part) {
    Predicate p;
    p.kind_ = Kind::Not;
    p.parts_.push_back(std::move(part));
    return p;
}

}  // namespace platform::data
