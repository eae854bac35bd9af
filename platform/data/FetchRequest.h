#pragma once
// What a fetch asks for: the objects of one entity that match a predicate on their attributes,
// in the order of the sort descriptors (ties, and no descriptors at all, keep the order the
// objects were first saved or inserted in), at most `fetchLimit` of them (0: all).
//
// Predicates compare one attribute with a value: ==, !=, <, <=, >, >= on text (byte order),
// numbers, bools and dates; a null value matches an attribute without a value under == and !=
// and nothing under the orderings. Comparisons combine with AND, OR and NOT. Plain values, no
// threading of their own.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace platform::data {

class Predicate {
  public:
    enum class Kind { Compare, And, Or, Not };
    enum class Operator { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

    static Predicate compare(std::string key, Operator op, Value value);
    static Predicate equal(std::string key, Value value) {
        return compare(std::move(key), Operator::Equal, std::move(value));
    }
    static Predicate allOf(std::vector<Predicate> parts);
    static Predicate anyOf(std::vector<Predicate> parts);
    static Predicate negation(Predicate part);

    Kind kind() const { return kind_; }
    const std::string& key() const { return key_; }
    Operator op() const { return op_; }
    const Value& value() const { return value_; }
    const std::vector<Predicate>& parts() const { return parts_; }

  private:
    Kind kind_ = Kind::Compare;
    std::string key_;
    Operator op_ = Operator::Equal;
    Value value_;
    std::vector<Predicate> parts_;
};

struct SortDescriptor {
    std::string key;
    bool ascending = true;  // null values come first when ascending
};

struct FetchRequest {
    explicit FetchRequest(std::string entity) : entityName(std::move(entity)) {}

    std::string entityName;
    std::shared_ptr<const Predicate> predicate;  // null: every object
    std::vector<SortDescriptor> sortDescriptors;
    size_t fetchLimit = 0;

    void setPredicate(Predicate p) { predicate = std::make_shared<const Predicate>(std::move(p)); }
};

}  // namespace platform::data
