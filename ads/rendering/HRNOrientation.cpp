#include "ads/rendering/HRNOrientation.h"

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
