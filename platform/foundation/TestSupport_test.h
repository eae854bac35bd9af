#pragma once
// Helpers shared by the foundation tests: scratch files (running an outside program is
// platform/testing/TestSupport.h).

#include <filesystem>
#include <optional>
#include <string>

#include "platform/foundation/AppHome.h"
#include "platform/testing/TestSupport.h"

namespace platform::testing {

// A fresh path under the test's temporary folder.
inline std::filesystem::path scratch(const std::string& name) {
    return AppHome::temporary() / name;
}

}  // namespace platform::testing
