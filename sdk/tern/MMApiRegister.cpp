#include "sdk/tern/MMApiRegister.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Bundle.h"
#include "sdk/tern/TernApiUtil.h"

namespace {

const char kRegisterPasteboard[] = "tern_register";

const std::string* textAt(const platform::Dictionary& info, const char* key) {
    auto it = info.find(key);
    return it == info.end() ? nullptr : it->second.string();
}

}  // namespace

std::string MMApiRegister::getRegisterPasteboardName() {
    return kRegisterPasteboard;
}

std::optional<platform::Dictionary> MMApiRegister::getRegisterDictionary(
    const std::shared_ptr<platform::ui::Pasteboard>& pasteboard) {
    if (!pasteboard) return std::nullopt;
    auto plist = TernApiUtil::propertyListFromData(
        pasteboard->dataForPasteboardType(TernApiUtil::kPasteboardType));
    if (!plist || !plist->dictionary()) return std::nullopt;
    return *plist->dictionary();
}

std::optional<platform::Dictionary> MMApiRegister::bundleInfoDictionary() {
    auto info = platform::plist::readFile(platform::ui::bundleDirectory() / "Info.plist");
    if (!info || !info->dictionary()) return std::nullopt;
    return *info->dictionary();
}

std::optional<std::filesystem::path> MMApiRegister::getIconString() {
    auto info = bundleInfoDictionary();
    if (!info) return std::nullopt;
    const bool twoX = TernApiUtil::is2xScreen();
    std::optional<std::string> name;
    auto files = info->find("CFBundleIconFiles");
    if (files != info->end() && files->second.array() && !files->second.array()->empty()) {
        const platform::Array& list = *files->second.array();
        for (const auto& entry : list) {
            const std::string* text = entry.string();
            if (!text) continue;  // another app's tool may have put anything here
            const bool has2x = text->find("@2x") != std::string::npos;
            if (has2x == twoX) {
                name = *text;
                break;
            }
        }
        if (!name && list.back().string()) name = *list.back().string();
    }
    if (!name) {
        if (const std::string* file = textAt(*info, "CFBundleIconFile")) name = *file;
    }
    if (!name) name = twoX ? "Icon@2x.png" : "Icon.png";
    return platform::ui::bundleDirectory() / *name;
}

platform::Dictionary MMApiRegister::buildAppDictionary(const std::string& appID,
                                                       const platform::Value* oldAppDictionary) {
    platform::Dictionary entry{{"appID", appID}};
    if (auto info = bundleInfoDictionary()) {
        if (const std::string* identifier = textAt(*info, "CFBundleIdentifier")) {
            entry["appIdentifier"] = *identifier;
        }
        const std::string* display = textAt(*info, "CFBundleDisplayName");
        const std::string* name =
            display && !display->empty() ? display : textAt(*info, "CFBundleName");
        if (name) entry["appName"] = *name;
    }
    if (auto icon = getIconString()) {
        auto bytes = platform::files::readData(*icon);
        if (!bytes) bytes = platform::files::readData(platform::ui::bundleDirectory() / "Icon.png");
        if (bytes) entry["appIcon"] = *bytes;
    }
    char now[32];
    std::snprintf(now, sizeof now, "%" PRId64,
                  static_cast<int64_t>(std::floor(platform::Clock::wallNow())));
    const platform::Value* first =
        oldAppDictionary ? oldAppDictionary->find("firstLaunchTime") : nullptr;
    entry["firstLaunchTime"] = first && first->string() ? *first->string() : std::string(now);
    entry["laststLaunchTime"] = std::string(now);
    return entry;
}

bool MMApiRegister::registerApp(const std::optional<std::string>& appID) {
    return registerAppWithDescription(appID, std::nullopt);
}

bool MMApiRegister::registerAppWithDescription(const std::optional<std::string>& appID,
                                               const std::optional<std::string>& description) {
    if (!appID) return false;
    auto pasteboard = platform::ui::Pasteboard::pasteboardWithName(kRegisterPasteboard, true);
    if (!pasteboard) return false;
    pasteboard->setPersistent(true);
    platform::Dictionary all = getRegisterDictionary(pasteboard).value_or(platform::Dictionary{});
    auto old = all.find(*appID);
    platform::Dictionary entry =
        buildAppDictionary(*appID, old == all.end() ? nullptr : &old->second);
    if (description) {
        const size_t length = tern::utf16Length(*description);
        if (length >= 1 && length <= 1024) entry["appDescriptionSDK"] = *description;
    }
    all[*appID] = std::move(entry);
    auto data = TernApiUtil::dataFromPropertyList(all);
    if (!data) return false;
    pasteboard->setDataForPasteboardType(*data, TernApiUtil::kPasteboardType);
    return true;
}
