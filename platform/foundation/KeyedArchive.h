#pragma once
// A keyed archive of one Value: the bytes that keep an object graph of values in a store
// (keychain items, user-defaults entries). Our own format, a binary property list with a
// version marker; unarchiving untrusted bytes fails cleanly with an Error.

#include <optional>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace platform::archive {

Data archive(const Value& root);
std::optional<Value> unarchive(const Data& bytes, Error* error = nullptr);

}  // namespace platform::archive
