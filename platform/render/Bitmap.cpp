#include "platform/render/Bitmap.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/foundation/Files.h"
#include "platform/render/Surfaces.h"

namespace platform::render {

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "platform::render::Bitmap: %s\n", what);
    std::abort();
}

int pixels(double points, double scale) {
    const double n = std::ceil(std::max(0.0, points) * scale - 1e-9);
    return int(std::max(0.0, n));
}

}  // namespace

Bitmap::Bitmap(std::shared_ptr<cairo_surface_t> surface, double scale)
    : surface_(std::move(surface)), scale_(scale) {}

Bitmap::Bitmap(Size points, double scale) : scale_(scale) {
    if (!(scale > 0)) fail("scale must be positive");
    surface_ = detail::adoptSurface(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, pixels(points.width, scale), pixels(points.height, scale)));
    if (!surface_) fail("cannot allocate the pixels");
}

Bitmap Bitmap::wrapping(void* pixels, int pixelWidth, int pixelHeight, int stride, double scale) {
    if (!(scale > 0)) fail("scale must be positive");
    if (pixelWidth < 0 || pixelHeight < 0 || stride % 4 != 0 || stride < 4 * pixelWidth) {
        fail("bad pixel buffer layout");
    }
    auto surface = detail::adoptSurface(cairo_image_surface_create_for_data(
        static_cast<unsigned char*>(pixels), CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight, stride));
    if (!surface) fail("cannot wrap the pixel buffer");
    return Bitmap(std::move(surface), scale);
}

int Bitmap::pixelWidth() const {
    return cairo_image_surface_get_width(surface_.get());
}
int Bitmap::pixelHeight() const {
    return cairo_image_surface_get_height(surface_.get());
}

Color Bitmap::pixelAt(int x, int y) const {
    return detail::readPixel(surface_.get(), x, y);
}

const uint8_t* Bitmap::data() const {
    cairo_surface_flush(surface_.get());
    return cairo_image_surface_get_data(surface_.get());
}

int Bitmap::stride() const {
    return cairo_image_surface_get_stride(surface_.get());
}

Data Bitmap::pngData() const {
    return detail::encodePNG(surface_.get());
}

bool Bitmap::writePNG(const std::filesystem::path& path) const {
    Data png = pngData();
    return !png.empty() && files::writeAtomically(path, png);
}

}  // namespace platform::render
