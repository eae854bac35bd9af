#pragma once
// Helpers shared by the foundation tests: running an outside program and scratch files.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/foundation/AppHome.h"

namespace platform::testing {

// Runs a shell command and answers its standard output, or std::nullopt when it fails.
inline std::optional<std::string> run(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    int status = pclose(pipe);
    if (status != 0) return std::nullopt;
    return out;
}

// A fresh path under the test's temporary folder.
inline std::filesystem::path scratch(const std::string& name) {
    return AppHome::temporary() / name;
}

}  // namespace platform::testing
