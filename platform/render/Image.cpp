#include "platform/render/Image.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/foundation/Files.h"
#include "platform/render/Surfaces.h"

namespace platform::render {

namespace {

struct PixbufUnref {
    void operator()(GdkPixbuf* p) const { g_object_unref(p); }
};
using PixbufRef = std::unique_ptr<GdkPixbuf, PixbufUnref>;

PixbufRef decodePixbuf(const Data& bytes) {
    if (bytes.empty()) return nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GError* error = nullptr;
    // A failed write closes the loader itself; closing it again would be an error.
    bool ok = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), &error) &&
              gdk_pixbuf_loader_close(loader, &error);
    g_clear_error(&error);
    PixbufRef result;
    if (GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr) {
        // Camera pictures carry their orientation apart from the pixels.
        result.reset(gdk_pixbuf_apply_embedded_orientation(pixbuf));
    }
    g_object_unref(loader);
    return result;
}

detail::SurfaceRef surfaceFromPixbuf(GdkPixbuf* pixbuf) {
    if (gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB ||
        gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) {
        return nullptr;
    }
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool hasAlpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (channels < (hasAlpha ? 4 : 3)) return nullptr;
    auto surface =
        detail::adoptSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (!surface) return nullptr;
    const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
    const int sourceStride = gdk_pixbuf_get_rowstride(pixbuf);
    unsigned char* target = cairo_image_surface_get_data(surface.get());
    const int targetStride = cairo_image_surface_get_stride(surface.get());
    auto premultiply = [](unsigned c, unsigned a) { return (c * a + 127) / 255; };
    for (int y = 0; y < height; ++y) {
        const guchar* in = source + size_t(y) * sourceStride;
        unsigned char* out = target + size_t(y) * targetStride;
        for (int x = 0; x < width; ++x, in += channels, out += 4) {
            const unsigned a = hasAlpha ? in[3] : 255;
            const uint32_t argb = (a << 24) | (premultiply(in[0], a) << 16) |
                                  (premultiply(in[1], a) << 8) | premultiply(in[2], a);
            std::memcpy(out, &argb, sizeof argb);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

}  // namespace

Image::Image(std::shared_ptr<cairo_surface_t> surface, double scale)
    : surface_(std::move(surface)), scale_(scale > 0 ? scale : 1) {}

std::optional<Image> Image::fromFile(const std::filesystem::path& path, double scale) {
    auto bytes = files::readData(path);
    if (!bytes) return std::nullopt;
    return fromData(*bytes, scale);
}

std::optional<Image> Image::fromData(const Data& bytes, double scale) {
    PixbufRef pixbuf = decodePixbuf(bytes);
    if (!pixbuf) return std::nullopt;
    auto surface = surfaceFromPixbuf(pixbuf.get());
    if (!surface) return std::nullopt;
    return Image(std::move(surface), scale);
}

int Image::pixelWidth() const {
    return cairo_image_surface_get_width(surface_.get());
}
int Image::pixelHeight() const {
    return cairo_image_surface_get_height(surface_.get());
}
std::optional<Image> Image::wrappingPixels(std::shared_ptr<const void> owner,
                                           const uint8_t* pixels,
                                           int width,
                                           int height,
                                           int stride,
                                           double scale) {
    if (!pixels || width <= 0 || height <= 0 ||
        stride < cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width) || stride % 4 != 0) {
        return std::nullopt;
    }
    // cairo only reads the pixels of an image surface that nobody draws into.
    auto surface = detail::adoptSurface(cairo_image_surface_create_for_data(
        const_cast<uint8_t*>(pixels), CAIRO_FORMAT_ARGB32, width, height, stride));
    if (!surface) return std::nullopt;
    static cairo_user_data_key_t key;
    auto* keep = new std::shared_ptr<const void>(std::move(owner));
    if (cairo_surface_set_user_data(surface.get(), &key, keep, [](void* p) {
            delete static_cast<std::shared_ptr<const void>*>(p);
        }) != CAIRO_STATUS_SUCCESS) {
        delete keep;
        return std::nullopt;
    }
    return Image(std::move(surface), scale > 0 ? scale : 1);
}

Size Image::size() const {
    return {pixelWidth() / scale_, pixelHeight() / scale_};
}

Color Image::pixelAt(int x, int y) const {
    return detail::readPixel(surface_.get(), x, y);
}

Data Image::pngData() const {
    return detail::encodePNG(surface_.get());
}

Data Image::jpegData(double quality) const {
    const int width = pixelWidth();
    const int height = pixelHeight();
    PixbufRef pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, width, height));
    if (!pixbuf) return Data();
    guchar* target = gdk_pixbuf_get_pixels(pixbuf.get());
    const int targetStride = gdk_pixbuf_get_rowstride(pixbuf.get());
    const unsigned char* source = cairo_image_surface_get_data(surface_.get());
    const int sourceStride = cairo_image_surface_get_stride(surface_.get());
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = source + size_t(y) * sourceStride;
        guchar* out = target + size_t(y) * targetStride;
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            uint32_t argb;
            std::memcpy(&argb, in, sizeof argb);
            // Premultiplied colour over black: the alpha channel simply drops.
            out[0] = (argb >> 16) & 0xff;
            out[1] = (argb >> 8) & 0xff;
            out[2] = argb & 0xff;
        }
    }
    const std::string level = std::to_string(std::clamp(int(quality * 100 + 0.5), 0, 100));
    gchar* buffer = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    Data jpeg;
    if (gdk_pixbuf_save_to_buffer(pixbuf.get(), &buffer, &length, "jpeg", &error, "quality",
                                  level.c_str(), nullptr)) {
        jpeg = Data(buffer, length);
    }
    g_clear_error(&error);
    g_free(buffer);
    return jpeg;
}

bool decodesAsImage(const Data& bytes) {
    return decodePixbuf(bytes) != nullptr;
}

}  // namespace platform::render
