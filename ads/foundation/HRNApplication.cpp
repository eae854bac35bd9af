#include "ads/foundation/HRNApplication.h"

#include <mutex>

#include "ads/foundation/HRNSettings.h"
#include "platform/device/DeviceFacts.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Window.h"

namespace {

uint64_t maskOfOrientationName(const std::string& name) {
    if (name == "UIInterfaceOrientationPortrait") return 2;
    if (name == "UIInterfaceOrientationPortraitUpsideDown") return 4;
    if (name == "UIInterfaceOrientationLandscapeLeft") return 16;
    if (name == "UIInterfaceOrientationLandscapeRight") return 8;
    return 0;
}

}  // namespace

std::shared_ptr<HRNApplication> HRNApplication::sharedInstance() {
    static const auto* shared =
        new std::shared_ptr<HRNApplication>(std::make_shared<HRNApplication>());
    return *shared;
}

const platform::Dictionary& HRNApplication::infoDictionary() {
    static const platform::Dictionary info = [] {
        std::optional<platform::Value> value =
            platform::plist::readFile(platform::ui::bundleDirectory() / "Info.plist");
        if (value && value->dictionary()) return *value->dictionary();
        return platform::Dictionary{};
    }();
    return info;
}

HRNApplication::HRNApplication() {
    const platform::Dictionary& info = infoDictionary();
    if (auto it = info.find("CFBundleVersion"); it != info.end() && it->second.string()) {
        version_ = *it->second.string();
    }
    if (auto it = info.find("CFBundleIdentifier"); it != info.end() && it->second.string()) {
        mainBundleIdentifier_ = *it->second.string();
    } else {
        mainBundleIdentifier_ = platform::AppHome::bundleIdentifier();
    }
}

std::optional<std::filesystem::path> HRNApplication::iTunesMetadataPath() const {
    const std::filesystem::path documents = platform::AppHome::documents();
    if (documents.empty()) return std::nullopt;
    return (documents / ".." / "iTunesMetadata.plist").lexically_normal();
}

platform::Dictionary HRNApplication::iTunesMetadata() const {
    static std::once_flag once;
    static platform::Dictionary metadata;
    std::call_once(once, [this] {
        std::optional<std::filesystem::path> path = iTunesMetadataPath();
        if (!path) return;
        std::optional<platform::Value> value = platform::plist::readFile(*path);
        if (value && value->dictionary()) metadata = *value->dictionary();
    });
    return metadata;
}

std::shared_ptr<platform::ui::Window> HRNApplication::placeholderWindow() {
    if (!placeholderWindow_) placeholderWindow_ = std::make_shared<platform::ui::Window>();
    return placeholderWindow_;
}

std::shared_ptr<platform::ui::Window> HRNApplication::mainWindow() const {
    platform::ui::Application& application = platform::ui::Application::shared();
    if (auto key = application.keyWindow()) return key;
    auto windows = application.windows();
    return windows.empty() ? nullptr : windows.front();
}

uint64_t HRNApplication::supportedInterfaceOrientationsForWindow(
    const std::shared_ptr<platform::ui::Window>& /*window*/) const {
    const platform::Dictionary& info = infoDictionary();
    if (auto it = info.find("UISupportedInterfaceOrientations");
        it != info.end() && it->second.array()) {
        uint64_t mask = 0;
        for (const platform::Value& name : *it->second.array()) {
            if (name.string()) mask |= maskOfOrientationName(*name.string());
        }
        return mask;
    }
    return platform::device::userInterfaceIdiomIsPhone() ? 26 : 30;
}

uint64_t HRNApplication::mainWindowSupportedInterfaceOrientations() const {
    // This platform's application delegate has no per-window answer, so the application's own
    // mask is the one, with or without split screen.
    return supportedInterfaceOrientationsForWindow(nullptr);
}

bool HRNApplication::isSplitScreenEnabled() const {
    return HRNSettingBoolValue("application_supports_split_screen");
}
