#include "platform/ui/ImageView.h"

namespace platform::ui {

ImageView::ImageView() {
    setUserInteractionEnabled(false);
}

ImageView::ImageView(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
}

ImageView::ImageView(ImageRef image)
    : View(Rect(Point{}, image ? image->size() : Size{})), image_(std::move(image)) {
    setUserInteractionEnabled(false);
}

Size ImageView::sizeThatFits(Size) const {
    return image_ ? image_->size() : Size{};
}

void ImageView::draw(render::Canvas& canvas, const Rect& rect) {
    const ImageRef& shown = highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
    if (shown) canvas.drawImage(*shown, rect, contentMode_);
}

}  // namespace platform::ui
