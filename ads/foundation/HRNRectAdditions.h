#pragma once
// Rectangle helpers of the viewability measurement. Pure functions; any thread.

#include <cstdint>

#include "platform/render/Geometry.h"

// The rectangle in the coordinates of the given status-bar orientation. Every system this SDK
// supports already reports frames in the current orientation, so the rectangle comes back as
// given; the orientation and the screen bounds are kept for callers written for older systems.
platform::render::Rect HRNRectRotatedForOrientation(int64_t orientation,
                                                    const platform::render::Rect& rect,
                                                    const platform::render::Rect& screenBounds);
