#pragma once
// An image view: draws a picture placed in its bounds by its content mode (stretched by
// default). The highlighted image, when set, is drawn while the view is highlighted. Image views
// take no touches by default. Main thread only.

#include "platform/render/Canvas.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/View.h"

namespace platform::ui {

using render::ContentMode;

class ImageView : public View {
  public:
    ImageView();
    explicit ImageView(const Rect& frame);
    // Sized to the image.
    explicit ImageView(ImageRef image);
    std::string className() const override { return "ImageView"; }

    const ImageRef& image() const { return image_; }
    void setImage(ImageRef image) { image_ = std::move(image); }
    const ImageRef& highlightedImage() const { return highlightedImage_; }
    void setHighlightedImage(ImageRef image) { highlightedImage_ = std::move(image); }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    ContentMode contentMode() const { return contentMode_; }
    void setContentMode(ContentMode mode) { contentMode_ = mode; }

    // The image's size (zero without one).
    Size sizeThatFits(Size size) const override;
    void draw(render::Canvas& canvas, const Rect& rect) override;

  private:
    ImageRef image_;
    ImageRef highlightedImage_;
    bool highlighted_ = false;
    ContentMode contentMode_ = ContentMode::ScaleToFill;
};

}  // namespace platform::ui
