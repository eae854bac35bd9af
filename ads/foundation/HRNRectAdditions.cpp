#include "ads/foundation/HRNRectAdditions.h"

platform::render::Rect HRNRectRotatedForOrientation(
    int64_t /*orientation*/,
    const platform::render::Rect& rect,
    const platform::render::Rect& /*screenBounds*/) {
    return rect;
}

platform::render::Rect HRNOrientedScreenRect(const platform::render::Rect& rect) {
    return rect;
}

namespace {

platform::render::Rect standardized(const platform::render::Rect& rect) {
    platform::render::Rect out = rect;
    if (out.size.width < 0) {
        out.origin.x += out.size.width;
        out.size.width = -out.size.width;
    }
    if (out.size.height < 0) {
        out.origin.y += out.size.height;
        out.size.height = -out.size.height;
    }
    return out;
}

}  // namespace

platform::Dictionary HRNViewabilityBoxFromRect(const platform::render::Rect& rect) {
    const platform::render::Rect r = standardized(rect);
    return {{"top", r.minY()}, {"bottom", r.maxY()}, {"left", r.minX()}, {"right", r.maxX()}};
}

platform::Dictionary HRNCompactDictionaryFromRect(const platform::render::Rect& rect) {
    const platform::render::Rect r = standardized(rect);
    return {{"x", r.origin.x}, {"y", r.origin.y}, {"w", r.size.width}, {"h", r.size.height}};
}
