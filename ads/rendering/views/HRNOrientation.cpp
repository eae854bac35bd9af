#include "ads/rendering/views/HRNOrientation.h"

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNSettings.h"

std::optional<std::string> HRNOrientationCodeFromMask(uint64_t mask) {
    const bool landscape = (mask & (8 | 16)) != 0;
    const bool portrait = (mask & (2 | 4)) != 0;
    if (landscape && portrait) return "any";
    if (landscape) return "l";
    if (mask & 2) return "p";
    return std::nullopt;
}

uint64_t HRNInterfaceOrientationMaskFromString(const std::string& text) {
    if (text == "any") return 2 | 4 | 8 | 16;
    if (text == "portrait") return 2 | 4;
    if (text == "landscape") return 8 | 16;
    return 0;
}

uint64_t HRNInterfaceOrientationMaskFromOrientation(int64_t orientation) {
    return uint64_t{1} << (static_cast<uint64_t>(orientation) & 31);
}

bool HRNOrientationMaskContainsOrientation(uint64_t mask, int64_t orientation) {
    return (mask & HRNInterfaceOrientationMaskFromOrientation(orientation)) != 0;
}

bool HRNOrientationMaskSupportsBothAxes(uint64_t mask) {
    return (mask & (8 | 16)) != 0 && (mask & (2 | 4)) != 0;
}

std::optional<std::string> HRNOrientationCodeFromInterfaceOrientation(int64_t orientation) {
    if (orientation == 1 || orientation == 2) return "p";
    if (orientation == 3 || orientation == 4) return "l";
    return std::nullopt;
}

bool HRNIsSplitScreenEnabled() {
    return HRNApplication::sharedInstance()->isSplitScreenEnabled();
}

bool HRNViewControllerOnlySupportsApplicationOrientation() {
    return HRNSettingBoolValue("view_controller_only_supports_application_orientation");
}
