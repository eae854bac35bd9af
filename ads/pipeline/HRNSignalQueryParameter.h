#pragma once
// The click-signal query parameter that ad requests and the foreground ping carry: {"ms": the
// encoded record}. The first call initialises the signal module with the SDK's version.
//
// Threading: call on the main thread (the signal module's state has no lock).

#include <optional>

#include "platform/foundation/Value.h"

// A one-entry dictionary {name: value} when the signal text splits at "=" into exactly two
// non-empty parts; std::nullopt otherwise.
std::optional<platform::Dictionary> HRNSignalQueryParameter();
