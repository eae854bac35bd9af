#pragma once
// The operating system's version text, as an app reads it from the device ("8.4" unless the
// environment variable QEN_SYSTEM_VERSION names another, e.g. "6.1.3" to run the code paths of
// an older system). Thread-safe.

#include <optional>
#include <string>

namespace platform::device {

std::string systemVersion();

// Overrides the version text for this process (tests); std::nullopt drops the override.
void setSystemVersion(std::optional<std::string> version);

}  // namespace platform::device
