#pragma once
// Font lookup through fontconfig: whether a font the system's code asks for by name is
// installed. fontconfig always answers some fallback face; a name counts as installed only when
// the face it answers carries that family name (or, failing that, a face has that full name),
// compared without regard to case. Thread-safe.

#include <string>

namespace platform::render {

// Whether a face of this family (or full face name) is installed and usable at this size
// (a finite size above 0).
bool fontExists(const std::string& name, double size);

}  // namespace platform::render
