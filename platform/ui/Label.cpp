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
    // Centred vertically; text taller than the label starts at its top and is cut at its bottom.
    Rect box = rect;
    if (measured.height < rect.height()) {
        box = Rect(rect.minX(), rect.minY() + (rect.height() - measured.height) / 2, rect.width(),
                   measured.height);
    }
    canvas.drawText(text_, box, font_, textColor_, options());
}

}  // namespace platform::ui
