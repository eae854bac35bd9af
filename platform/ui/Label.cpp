#include "platform/ui/Label.h"

#include <algorithm>
#include <limits>

namespace platform::ui {

Label::Label() {
    setUserInteractionEnabled(false);
}

Label::Label(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
}

render::TextOptions Label::options() const {
    render::TextOptions options;
    options.alignment = alignment_;
    options.lineBreak = lineBreak_;
    options.numberOfLines = numberOfLines_;
    return options;
}

Size Label::sizeThatFits(Size size) const {
    double width = numberOfLines_ == 1 || size.width <= 0 ? std::numeric_limits<double>::infinity()
                                                          : size.width;
    return render::measureText(text_, font_, width, options());
}

void Label::draw(render::Canvas& canvas, const Rect& rect) {
    if (text_.empty()) return;
    Size measured = render::measureText(text_, font_, rect.width(), options());
    double height = std::min(measured.height, rect.height());
    double y = rect.minY() + std::max(0.0, (rect.height() - height) / 2);
    canvas.drawText(text_, Rect(rect.minX(), y, rect.width(), std::max(height, measured.height)),
                    font_, textColor_, options());
}

}  // namespace platform::ui
