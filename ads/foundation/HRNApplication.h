#pragma once
// HRNApplication: the ad SDK's process-wide view of the host application: its version and
// bundle identifier, its Info.plist and store metadata, its windows and the orientations they
// support. This slice holds what the device facts read; start-up and statistics join it later.
//
// Threading: made once, on first use from any thread. The version, identifier, metadata and
// settings may be read from any thread; the window operations belong to the main thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace platform::ui {
class Window;
}

class HRNApplication {
  public:
    static std::shared_ptr<HRNApplication> sharedInstance();

    // The main bundle's Info.plist ("Info.plist" in the bundle folder), read once; an empty
    // dictionary when the file is missing or is not a dictionary.
    static const platform::Dictionary& infoDictionary();

    // Info.plist CFBundleVersion, or the empty string.
    const std::string& version() const { return version_; }
    // Info.plist CFBundleIdentifier, else the identifier the app home is named by.
    const std::string& mainBundleIdentifier() const { return mainBundleIdentifier_; }

    // Documents/../iTunesMetadata.plist, standardized; std::nullopt without a Documents folder.
    std::optional<std::filesystem::path> iTunesMetadataPath() const;
    // That file's dictionary, read once; empty when missing, unreadable or not a dictionary.
    platform::Dictionary iTunesMetadata() const;

    // A hidden window of the SDK's own, made on first use and kept. Main thread.
    std::shared_ptr<platform::ui::Window> placeholderWindow();
    // The key window, else the application's first window (the app's own); null when none.
    // Main thread.
    std::shared_ptr<platform::ui::Window> mainWindow() const;
    // The orientation mask the application supports for a window: the Info.plist
    // "UISupportedInterfaceOrientations", else every orientation but upside down on a phone and
    // every one on a tablet.
    uint64_t supportedInterfaceOrientationsForWindow(
        const std::shared_ptr<platform::ui::Window>& window) const;
    // The mask of the main window. Any thread: this platform's application answers the same
    // mask for every window.
    uint64_t mainWindowSupportedInterfaceOrientations() const;
    // The setting "application_supports_split_screen".
    bool isSplitScreenEnabled() const;

    HRNApplication();

  private:
    std::string version_;
    std::string mainBundleIdentifier_;
    std::shared_ptr<platform::ui::Window> placeholderWindow_;
};
