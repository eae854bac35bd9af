#pragma once
// Rectangle helpers of the viewability measurement. Pure functions; any thread.

#include <cstdint>

#include "platform/foundation/Value.h"
#include "platform/render/Geometry.h"

// The rectangle in the coordinates of the given status-bar orientation. Every system this SDK
// supports already reports frames in the current orientation, so the rectangle comes back as
// given; the orientation and the screen bounds are kept for callers written for older systems.
platform::render::Rect HRNRectRotatedForOrientation(int64_t orientation,
                                                    const platform::render::Rect& rect,
                                                    const platform::render::Rect& screenBounds);

// The rectangle as it is on screen: on every supported system frames are already in screen
// orientation, so it comes back as given.
platform::render::Rect HRNOrientedScreenRect(const platform::render::Rect& rect);

// {"top": minimum y, "bottom": maximum y, "left": minimum x, "right": maximum x}, reals in points:
// the box of a viewability unit.
platform::Dictionary HRNViewabilityBoxFromRect(const platform::render::Rect& rect);

// {"x", "y", "w", "h"} (reals) of the standardized rectangle (no negative sizes): "ad_frame" and
// "ad_bounds" of an ad request.
platform::Dictionary HRNCompactDictionaryFromRect(const platform::render::Rect& rect);
