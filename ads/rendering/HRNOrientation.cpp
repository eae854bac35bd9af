#include "ads/rendering/HRNOrientation.h"

std::optional<std::string> HRNOrientationCodeFromMask(uint64_t mask) {
    const bool landscape = (mask & (8 | 16)) != 0;
    const bool portrait = (mask & (2 | 4)) != 0;
    if (landscape && portrait) return "any";
    if (landscape) return "l";
    if (mask & 2) return "p";
    return std::nullopt;
}
