#include "ads/foundation/HRNRectAdditions.h"

platform::render::Rect HRNRectRotatedForOrientation(
    int64_t /*orientation*/,
    const platform::render::Rect& rect,
    const platform::render::Rect& /*screenBounds*/) {
    return rect;
}
