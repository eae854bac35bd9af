#pragma once
// Every picture of the game's bundle, drawn by family.

#include <filesystem>

namespace resgen {

// Draws every picture into the folder; false when a file could not be written.
bool drawPictures(const std::filesystem::path& folder);

}  // namespace resgen
