#pragma once
// Font lookup through fontconfig.

#include <string>

namespace platform::render {

// Whether a face of this family (or full face name) is installed and usable at this size.
bool fontExists(const std::string& name, double size);

}  // namespace platform::render
