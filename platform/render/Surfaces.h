#pragma once
// Internal to platform/render: cairo image surfaces shared between images, bitmaps and canvases.
// Every surface here is CAIRO_FORMAT_ARGB32: one native-endian uint32 per pixel, 0xAARRGGBB,
// colour premultiplied by alpha.

#include <cairo.h>

#include <memory>

#include "platform/foundation/Data.h"
#include "platform/render/Color.h"

namespace platform::render::detail {

using SurfaceRef = std::shared_ptr<cairo_surface_t>;

// Takes over the caller's reference; nullptr when cairo could not make the surface.
SurfaceRef adoptSurface(cairo_surface_t* surface);

// The pixel at (x, y), unpremultiplied; clear outside the surface.
Color readPixel(cairo_surface_t* surface, int x, int y);

// The surface as a PNG file with an alpha channel; empty when encoding failed.
Data encodePNG(cairo_surface_t* surface);

}  // namespace platform::render::detail
