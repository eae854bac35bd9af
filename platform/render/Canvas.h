#pragma once
// Drawing into a Bitmap, in points with the origin at the bitmap's top-left corner; the
// bitmap's scale maps points to pixels. Everything drawn is composited over what is there
// (source over), antialiased, and limited by the current clip.
//
// State (transform, clip) is saved and restored in a stack; a layer (pushLayer) also saves the
// state, gathers what is drawn until popLayer and then composites it at the layer's alpha, which
// is how a translucent view is drawn as one piece. Saves and layers nest strictly: restore closes
// a save, popLayer closes a layer, and a mismatch, or a canvas that ends with either still
// open, aborts with a message. Drawing happens at once, on the calling thread; a canvas belongs
// to one thread.

#include <string_view>
#include <vector>

#include "platform/render/Bitmap.h"
#include "platform/render/Color.h"
#include "platform/render/Geometry.h"
#include "platform/render/Image.h"
#include "platform/render/Text.h"
#include "platform/render/Transform3D.h"

typedef struct _cairo cairo_t;

namespace platform::render {

// How an image fills a rectangle.
enum class ContentMode {
    ScaleToFill,  // stretched to the rectangle
    AspectFit,    // as large as fits inside, centred, proportions kept
    AspectFill,   // as small as covers it, centred, proportions kept (overflows the rectangle)
    Center        // at its own size, centred (may overflow the rectangle)
};

// Where content of `content` size lands in `bounds` under `mode`.
Rect fittedRect(Size content, const Rect& bounds, ContentMode mode);

struct GradientStop {
    double location;  // 0..1 along the gradient
    Color color;
};

class Canvas {
  public:
    // The bitmap's pixels stay alive while the canvas lives.
    explicit Canvas(Bitmap& target);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void save();
    void restore();
    // A zero scale hides everything drawn until the state is restored.
    void translate(double dx, double dy);
    void scale(double sx, double sy);
    // Applies the transform's 2-D affine part (m11 m12 m21 m22 m41 m42).
    void concat(const Transform3D& transform);
    // Pixels per point under the current transform (a bitmap drawn at this scale stays sharp).
    double pixelScale() const;
    // Narrows the clip to the rectangle (with rounded corners when cornerRadius > 0).
    void clipToRect(const Rect& rect, double cornerRadius = 0);

    void pushLayer(double alpha);
    void popLayer();

    // Shapes: rounded when cornerRadius > 0 (capped at half the shorter side). A stroke lies
    // inside the rectangle, so a border never grows what it surrounds.
    void fillRect(const Rect& rect, const Color& color, double cornerRadius = 0);
    void strokeRect(const Rect& rect,
                    const Color& color,
                    double lineWidth,
                    double cornerRadius = 0);
    // Fills with colours blended from `start` to `end` (points on the canvas) through `stops`;
    // before the first stop and after the last their colours continue.
    void fillLinearGradient(const Rect& rect,
                            Point start,
                            Point end,
                            const std::vector<GradientStop>& stops,
                            double cornerRadius = 0);

    // Draws the image into `rect` placed by `mode`; what overflows the rectangle is drawn too
    // unless the caller clips.
    void drawImage(const Image& image,
                   const Rect& rect,
                   ContentMode mode = ContentMode::ScaleToFill);

    // Draws a bitmap at its size in points with its top-left corner at `origin`.
    void drawBitmap(const Bitmap& bitmap, Point origin);
    // Draws a bitmap through a transform that may have perspective: a point p of the bitmap (in
    // its points) lands where map.apply(p) says, in the canvas's current coordinates. Parts
    // that fall behind the viewer are left out; pixels are sampled bilinearly.
    void drawBitmapProjected(const Bitmap& bitmap, const Transform3D& map);

    // Lays the text out as measureText(text, font, rect.width, options) does and draws it from
    // the rectangle's top edge, aligned across its width. With TruncateTail and no line limit,
    // the lines stop at the rectangle's bottom, the last one cut with "…"; otherwise lines past
    // the bottom are drawn unless the caller clips.
    void drawText(std::string_view text,
                  const Rect& rect,
                  const Font& font,
                  const Color& color,
                  const TextOptions& options = {});

  private:
    struct Level {
        bool layer;
        double alpha;
    };

    cairo_t* cr_;
    std::vector<Level> levels_;
};

}  // namespace platform::render
