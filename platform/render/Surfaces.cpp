#include "platform/render/Surfaces.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace platform::render::detail {

SurfaceRef adoptSurface(cairo_surface_t* surface) {
    if (!surface) return nullptr;
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return SurfaceRef(surface, cairo_surface_destroy);
}

Color readPixel(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    if (x < 0 || y < 0 || x >= width || y >= height) return Color::clear();
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + size_t(y) * cairo_image_surface_get_stride(surface);
    uint32_t argb;
    std::memcpy(&argb, row + size_t(x) * 4, sizeof argb);
    const double a = (argb >> 24) & 0xff;
    if (a == 0) return Color::clear();
    auto channel = [&](int shift) { return std::min(1.0, ((argb >> shift) & 0xff) / a); };
    return {channel(16), channel(8), channel(0), a / 255.0};
}

namespace {

cairo_status_t appendToData(void* closure, const unsigned char* bytes, unsigned int length) {
    static_cast<Data*>(closure)->append(bytes, length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Data encodePNG(cairo_surface_t* surface) {
    Data png;
    if (cairo_surface_write_to_png_stream(surface, appendToData, &png) != CAIRO_STATUS_SUCCESS) {
        return Data();
    }
    return png;
}

}  // namespace platform::render::detail
