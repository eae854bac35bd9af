#include "sdk/tern/TernApiUtil.h"

#include <cctype>
#include <charconv>

#include "platform/device/SystemVersion.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Screen.h"
#include "platform/ui/URLOpening.h"

namespace {

const char kTernProbeUrl[] = "tern://";
const char kSDKInfoPasteboard[] = "tern_sdk_infomation";

// Cached platform facts (main thread only).
double gSystemVersion = 0;
int32_t gScreenClass = -1;

std::string schemeUrl(const std::string& scheme) {
    return scheme + "://";
}

}  // namespace

namespace tern {

size_t utf16Length(std::string_view utf8) {
    size_t units = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        size_t length = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
        bool valid = length > 0 && i + length <= utf8.size();
        for (size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
        if (!valid) {
            ++units;  // a stray byte
            ++i;
            continue;
        }
        units += length == 4 ? 2 : 1;  // beyond the basic plane: a surrogate pair
        i += length;
    }
    return units;
}

double leadingDecimalNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
    }
    std::string_view number = text.substr(start, i - start);
    if (!number.empty() && number.front() == '+') number.remove_prefix(1);
    double value = 0;
    auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    return result.ec == std::errc() ? value : 0;
}

int32_t screenClassForScale(std::optional<double> scale) {
    return scale && *scale == 2.0 ? 2 : 1;
}

}  // namespace tern

bool TernApiUtil::isiOS7plus() {
    if (gSystemVersion < 0.1)
        gSystemVersion = tern::leadingDecimalNumber(platform::device::systemVersion());
    return gSystemVersion > 6.9;
}

bool TernApiUtil::is2xScreen() {
    if (gScreenClass == -1)
        gScreenClass = tern::screenClassForScale(platform::ui::Screen::main().scale());
    return gScreenClass == 2;
}

std::optional<platform::Value> TernApiUtil::propertyListFromData(
    const std::optional<platform::Data>& data) {
    if (!data) return std::nullopt;
    return platform::plist::parse(*data);
}

std::optional<platform::Data> TernApiUtil::dataFromPropertyList(const platform::Value& plist) {
    return platform::plist::serialize(plist, platform::plist::Format::Binary);
}

std::optional<std::string> TernApiUtil::getTernUrl(const std::optional<std::string>& appID) {
    if (!appID) return std::nullopt;
    return "ternapp://app/" + *appID + "/";
}

std::optional<std::string> TernApiUtil::getTernUrlExtraUrl(
    const std::optional<std::string>& appID,
    const std::optional<std::string>& extra) {
    auto url = getTernUrl(appID);
    if (url && extra && !extra->empty()) *url += *extra;
    return url;
}

std::optional<std::string> TernApiUtil::getAppUrl(const std::optional<std::string>& scheme) {
    if (!scheme) return std::nullopt;
    return schemeUrl(*scheme);
}

bool TernApiUtil::isAppOpenUrlAppID(const std::string& url,
                                    const std::optional<std::string>& appID) {
    if (!appID) return false;
    return url.starts_with(schemeUrl(*appID));
}

bool TernApiUtil::isAppInstalledWithCatchException(const std::optional<std::string>& scheme) {
    try {
        return isAppInstalledWithoutCatchException(scheme);
    } catch (...) {
        return false;
    }
}

bool TernApiUtil::isAppInstalledWithoutCatchException(const std::optional<std::string>& scheme) {
    if (!scheme) return false;
    return platform::ui::canOpenURL(schemeUrl(*scheme));
}

bool TernApiUtil::launchApp(const std::optional<std::string>& scheme) {
    if (!scheme) return false;
    return platform::ui::openURL(schemeUrl(*scheme));
}

std::optional<std::string> TernApiUtil::getAppUrlWithPlatformId(
    const std::optional<std::string>& scheme) {
    if (!scheme) return std::nullopt;
    return schemeUrl(*scheme) + "platformId=tern";
}

std::optional<std::string> TernApiUtil::getAppUrlWithPlatformIdWithOtherArgs(
    const std::optional<std::string>& scheme,
    const std::optional<std::string>& otherArgs) {
    auto url = getAppUrlWithPlatformId(scheme);
    if (url && otherArgs && !otherArgs->empty()) *url += "/" + *otherArgs;
    return url;
}

bool TernApiUtil::isTNAppSupportApi() {
    return platform::ui::canOpenURL(kTernProbeUrl);
}

std::optional<std::string> TernApiUtil::_internal_getSDKVersion() {
    auto pasteboard = platform::ui::Pasteboard::pasteboardWithName(kSDKInfoPasteboard, false);
    if (!pasteboard) return std::nullopt;
    auto plist = propertyListFromData(pasteboard->dataForPasteboardType(kPasteboardType));
    if (!plist || !plist->isDictionary()) return std::nullopt;
    const platform::Value* version = plist->find("version");
    if (!version || !version->isString()) return std::nullopt;
    return *version->string();
}

std::string TernApiUtil::getSDKVersion() {
    if (auto version = _internal_getSDKVersion()) return *version;
    return isTNAppSupportApi() ? "1.0" : "";
}
