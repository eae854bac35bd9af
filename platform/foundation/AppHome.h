#pragma once
// The app's home folder, like a phone sandbox:
//   <home>/Documents/          the documents folder
//   <home>/Library/Caches/     caches
//   <home>/Library/Preferences/ the user defaults
//   <home>/tmp/                temporary files
// The home is chosen in this order: setHome() (the `--home DIR` option), the environment
// variable QEN_HOME, else $XDG_DATA_HOME (or ~/.local/share)/<bundle id>; the environment is
// read at each call. The device root (state shared by the apps of one device: pasteboards, the
// registry of installed apps) is QEN_DEVICE_ROOT, else $XDG_DATA_HOME (or ~/.local/share)/
// qen-device, beside the default app homes. Every accessor creates its folder when missing.
// Thread-safe.

#include <filesystem>
#include <string>

namespace platform {

class AppHome {
  public:
    // Overrides the home for this process (before or after first use; later calls see it).
    // An empty path drops the override.
    static void setHome(const std::filesystem::path& home);
    // The bundle identifier used for the default home ("com.vq.Kestrune" unless set).
    static void setBundleIdentifier(const std::string& identifier);
    static std::string bundleIdentifier();

    static std::filesystem::path home();
    static std::filesystem::path documents();
    static std::filesystem::path caches();
    static std::filesystem::path preferences();
    static std::filesystem::path temporary();
    static std::filesystem::path deviceRoot();
};

}  // namespace platform
