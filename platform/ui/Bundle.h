#pragma once
// The app bundle: the folder of the storyboard, nibs, pictures and sounds. It is, in order, the
// folder given to setBundleDirectory (tests), the environment variable QEN_BUNDLE_DIR, else
// `resources` beside the running executable. Main thread only.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/render/Image.h"

namespace platform::ui {

using ImageRef = std::shared_ptr<const render::Image>;

void setBundleDirectory(const std::filesystem::path& directory);  // empty: back to the default
std::filesystem::path bundleDirectory();

// The bundle's Info.plist (the app's declared facts: identifier, version, supported interface
// orientations), read once per bundle folder; empty when the folder has none or it is no
// dictionary. Any thread.
Dictionary infoDictionary();

// A picture of the bundle by name at scale 2: "house1" finds "house1.png"; a name with an
// extension ("a1.jpg") is taken as it is. Cached by name; null when missing or undecodable.
ImageRef imageNamed(const std::string& name);

}  // namespace platform::ui
