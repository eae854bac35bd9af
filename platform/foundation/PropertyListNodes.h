#pragma once
// Internal to platform_foundation: conversion between Value and libplist nodes, shared by the
// property-list coders and the keyed archive. Not for other libraries.

#include <plist/plist.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"

namespace platform::plist::detail {

struct NodeDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

// How null is carried. Plain property lists have no null and refuse it; the keyed archive
// carries it as the UID 0, a node type that no other Value produces.
enum class NullMode { Refuse, AsUid };

// Nesting deeper than this is refused in both directions, so hostile input cannot exhaust the
// stack.
constexpr int kMaxDepth = 512;

Node toNode(const Value& value, NullMode mode, Error* error);
std::optional<Value> fromNode(plist_t node, NullMode mode, Error* error);

// Reads either format; std::nullopt with an Error for anything that is not a property list.
Node parseBytes(const Data& bytes, Error* error);
std::optional<Data> writeBytes(plist_t node, Format format, Error* error);

// Whether `text` is well-formed UTF-8 without NUL bytes (what a stored string may hold).
bool isStorableText(const std::string& text);

}  // namespace platform::plist::detail
