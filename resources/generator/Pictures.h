#pragma once
// Every picture of the game's bundle, drawn by family.

#include <filesystem>

namespace resgen {

// Draws every picture into the folder; false when a file could not be written. The tutorial's
// pictures show the board of the storyboard's first scene.
bool drawPictures(const std::filesystem::path& folder, const std::filesystem::path& storyboard);

}  // namespace resgen
