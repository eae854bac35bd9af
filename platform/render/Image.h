#pragma once
// A decoded picture: immutable pixels plus the scale at which they are drawn (pixels per point).
// Copies are cheap and share the pixels. Images are made by decoding PNG, JPEG or GIF bytes (a
// GIF gives its first frame); a file or bytes that do not decode give nullopt, never a crash.
//
// The scale is the loader's to say: the bundle's pictures are drawn at kPictureScale, so a
// 200 x 100 pixel picture is 100 x 50 points; bytes that arrived over the network are usually
// drawn at scale 1. An image may be used from any thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/foundation/Data.h"
#include "platform/render/Color.h"
#include "platform/render/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace platform::render {

class Image {
  public:
    // Pixels per point of the pictures in the app's bundle.
    static constexpr double kPictureScale = 2;

    // `scale` > 0; anything else is taken as 1.
    static std::optional<Image> fromFile(const std::filesystem::path& path, double scale);
    static std::optional<Image> fromData(const Data& bytes, double scale);
    // Over pixels in the Bitmap format (premultiplied ARGB, native-endian 32-bit words) without
    // copying them, such as a decoded video frame; `owner` keeps them alive while the image or
    // a drawing of it needs them. nullopt for a size or stride that does not fit.
    static std::optional<Image> wrappingPixels(std::shared_ptr<const void> owner,
                                               const uint8_t* pixels,
                                               int width,
                                               int height,
                                               int stride,
                                               double scale);

    Size size() const;  // in points
    int pixelWidth() const;
    int pixelHeight() const;
    double scale() const { return scale_; }

    // The pixel at (x, y), unpremultiplied; clear outside the image.
    Color pixelAt(int x, int y) const;

    // Encodings of the pixels. PNG keeps the alpha channel; JPEG (quality 0..1) has none, so
    // translucent pixels come out darkened towards black. Empty when encoding failed.
    Data pngData() const;
    Data jpegData(double quality) const;

  private:
    friend class Canvas;
    Image(std::shared_ptr<cairo_surface_t> surface, double scale);

    std::shared_ptr<cairo_surface_t> surface_;
    double scale_;
};

// Whether the bytes decode as a picture.
bool decodesAsImage(const Data& bytes);

}  // namespace platform::render
