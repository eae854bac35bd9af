#pragma once
// A pixel buffer to draw into with a Canvas: a snapshot of the screen, a picture made at build
// time, or the window's frame. Pixels are 32-bit premultiplied ARGB, one native-endian uint32
// per pixel (0xAARRGGBB; in memory B, G, R, A on little-endian machines), rows `stride()` bytes
// apart. A new bitmap is fully transparent.
//
// The scale says how many pixels make one point: a Canvas over a bitmap of scale 2 draws a
// 10 x 10 point rectangle as 20 x 20 pixels. A bitmap belongs to one thread at a time.

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/foundation/Data.h"
#include "platform/render/Color.h"
#include "platform/render/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace platform::render {

class Bitmap {
  public:
    // Covers `points` at `scale` pixels per point; the pixel size rounds up.
    explicit Bitmap(Size points, double scale = 1);

    // Over pixels the caller owns, in the format above, such as a window's frame buffer. The
    // caller keeps them alive while the bitmap lives; `stride` is a multiple of 4 and at least
    // 4 * pixelWidth.
    static Bitmap wrapping(void* pixels, int pixelWidth, int pixelHeight, int stride, double scale);

    Bitmap(Bitmap&&) noexcept = default;
    Bitmap& operator=(Bitmap&&) noexcept = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int pixelWidth() const;
    int pixelHeight() const;
    double scale() const { return scale_; }
    Size size() const { return {pixelWidth() / scale_, pixelHeight() / scale_}; }

    // The pixel at (x, y), unpremultiplied; clear outside the bitmap.
    Color pixelAt(int x, int y) const;

    // The raw pixels, for checks that scan the whole buffer.
    const uint8_t* data() const;
    int stride() const;

    // A PNG file of the pixels, with alpha. Empty / false when encoding or writing failed; the
    // file is written atomically.
    Data pngData() const;
    bool writePNG(const std::filesystem::path& path) const;

  private:
    friend class Canvas;
    Bitmap(std::shared_ptr<cairo_surface_t> surface, double scale);

    std::shared_ptr<cairo_surface_t> surface_;
    double scale_;
};

}  // namespace platform::render
