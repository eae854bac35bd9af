#pragma once
// A keyed archive of one Value: the bytes that keep an object graph of values in a store
// (keychain items, user-defaults entries). Our own format, a binary property list with a
// version marker; unarchiving untrusted bytes fails cleanly with an Error.

#include <optional>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace platform::archive {

// Empty Data when the value cannot be stored (text that is not UTF-8 or holds a NUL byte, a
// date outside 1933 to 2069); the second form says why. Null is carried.
Data archive(const Value& root);
Data archive(const Value& root, Error* error);
std::optional<Value> unarchive(const Data& bytes, Error* error = nullptr);

}  // namespace platform::archive
