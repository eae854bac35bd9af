#include "puffin/views/PFWidgets.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/render/Canvas.h"

using platform::render::Color;
using platform::ui::Rect;

void PFUnderfinedProgressBar::draw(platform::render::Canvas& canvas, const Rect& rect) {
    canvas.fillRect(rect, Color::fromRGB255(255, 255, 255, 0.25), rect.size.height / 2);
    const double block = rect.size.width / 4;
    const double phase = std::fmod(platform::Clock::now(), 1.5) / 1.5;
    const double x = -block + phase * (rect.size.width + block);
    canvas.save();
    canvas.clipToRect(rect, rect.size.height / 2);
    canvas.fillRect({x, rect.origin.y, block, rect.size.height}, Color::fromRGB255(255, 255, 255));
    canvas.restore();
}

PFCloseButton::PFCloseButton(const Rect& frame) : Button(frame) {
    setOpaque(false);
}

void PFCloseButton::draw(platform::render::Canvas& canvas, const Rect& rect) {
    canvas.fillRect(rect, Color::fromRGB255(0, 0, 0, 0.6), rect.size.width / 2);
    canvas.strokeRect(rect, Color::fromRGB255(255, 255, 255), 1.5, rect.size.width / 2);
    // The cross: two bars of small squares along the diagonals.
    const double inset = rect.size.width * 0.28;
    const double side = std::max(1.5, rect.size.width * 0.1);
    const double span = rect.size.width - 2 * inset;
    for (int i = 0; i <= 8; ++i) {
        const double t = inset + span * i / 8.0 - side / 2;
        canvas.fillRect({t, t, side, side}, Color::fromRGB255(255, 255, 255));
        canvas.fillRect({rect.size.width - t - side, t, side, side},
                        Color::fromRGB255(255, 255, 255));
    }
}

void PFTouchCallbackView::touchesEnded(const platform::ui::Touches& touches) {
    for (const auto& touch : touches)
        if (pointInside(touch->locationInView(this)) && touchUpCallback) {
            touchUpCallback();
            return;
        }
}

void PFFlatProgressBar::setProgress(double progress) {
    progress_ = std::clamp(std::isfinite(progress) ? progress : 0.0, 0.0, 1.0);
}

void PFFlatProgressBar::draw(platform::render::Canvas& canvas, const Rect& rect) {
    canvas.fillRect(rect, backgroundColor_, radius);
    if (progress_ > 0)
        canvas.fillRect({rect.origin.x, rect.origin.y, rect.size.width * progress_,
                         rect.size.height},
                        progressColor, radius);
    canvas.strokeRect(rect, borderColor, 1, radius);
}

PFToasterView::PFToasterView(int position)
    : position_(position), content_(std::make_shared<platform::ui::View>()) {
    setBackgroundColor(Color::fromRGB255(255, 255, 255, 0.95));
    addSubview(content_);
    setHidden(true);
}

void PFToasterView::place() {
    auto parent = superview();
    if (!parent) return;
    const Rect bounds = parent->bounds();
    const double height = std::max(frame().size.height, 70.0);
    const double width = bounds.size.width - 20;
    const double y = position_ == 1 ? 10 : bounds.size.height - height - 10;
    setFrame({10, y, width, height});
}

void PFToasterView::layoutSubviews() {
    content_->setFrame(bounds());
}

void PFToasterView::show() {
    place();
    shown_ = true;
    setHidden(false);
    setAlpha(0);
    platform::ui::View::animate(0.2555, [this] { setAlpha(1); });
}

void PFToasterView::hide() {
    shown_ = false;
    setHidden(true);
}
