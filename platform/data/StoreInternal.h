#pragma once
// Shared by the coordinator and the context: how attribute values compare, so that a fetch
// answered by SQLite and one answered from a context's unsaved objects agree.

#include <optional>
#include <vector>

#include "platform/data/FetchRequest.h"
#include "platform/data/ObjectModel.h"
#include "platform/foundation/Error.h"

namespace platform::data::detail {

// <0, 0, >0; std::nullopt when either side is null or they are of kinds that never compare.
std::optional<int> compareValues(const Value& a, const Value& b);

// Whether the attribute values (in the entity's order) satisfy the predicate.
bool matches(const Predicate& predicate, const Entity& entity, const std::vector<Value>& values);

// Checks that every key names a comparable attribute of the entity and every value has a kind
// that attribute can be compared with.
bool checkPredicate(const Predicate& predicate, const Entity& entity, Error* error);
bool checkSort(const std::vector<SortDescriptor>& sort, const Entity& entity, Error* error);

Error dataError(int code, const std::string& description);

}  // namespace platform::data::detail
