#pragma once
// Plain file helpers. Reads of a missing file give std::nullopt and create nothing; writes are
// atomic (a temporary file beside the target, flushed, then renamed over it), so a reader sees
// the old or the new content, never a mix. Nothing throws.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

namespace platform::files {

std::optional<Data> readData(const std::filesystem::path& path);
std::optional<std::string> readText(const std::filesystem::path& path);  // bytes as they stand

// Creates missing parent folders. Returns whether the new content is in place.
bool writeAtomically(const std::filesystem::path& path, const Data& data);
bool writeAtomically(const std::filesystem::path& path, std::string_view text);

bool exists(const std::filesystem::path& path);
bool remove(const std::filesystem::path& path);       // true when gone afterwards
bool createEmpty(const std::filesystem::path& path);  // an empty file, when missing
bool createDirectories(const std::filesystem::path& path);

}  // namespace platform::files
