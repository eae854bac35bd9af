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

// A file's or folder's modification date in seconds since 1970 (std::nullopt when it cannot be
// read), and setting it (false when it cannot be set). Ages of cached files are told by it.
std::optional<double> modificationDate(const std::filesystem::path& path);
bool setModificationDate(const std::filesystem::path& path, double secondsSince1970);

}  // namespace platform::files
