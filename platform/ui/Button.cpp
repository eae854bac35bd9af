#include "platform/ui/Button.h"

#include <algorithm>

namespace platform::ui {

namespace {

template <typename T>
void store(std::map<ControlState, T>& values, ControlState state, std::optional<T> value) {
    if (value) {
        values[state] = std::move(*value);
    } else {
        values.erase(state);
    }
}

render::TextOptions titleOptions() {
    render::TextOptions options;
    options.alignment = render::TextAlignment::Center;
    options.lineBreak = render::LineBreak::TruncateTail;
    options.numberOfLines = 1;
    return options;
}

}  // namespace

Button::Button() = default;

Button::Button(const Rect& frame) : Control(frame) {}

template <typename T>
std::optional<T> Button::lookup(const std::map<ControlState, T>& values, ControlState state) {
    auto it = values.find(state);
    if (it == values.end()) it = values.find(ControlState::Normal);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

void Button::setTitle(std::optional<std::string> title, ControlState state) {
    store(titles_, state, std::move(title));
}

void Button::setTitleColor(std::optional<Color> color, ControlState state) {
    store(titleColors_, state, color);
}

void Button::setImage(ImageRef image, ControlState state) {
    store(images_, state, image ? std::optional<ImageRef>(std::move(image)) : std::nullopt);
}

void Button::setBackgroundImage(ImageRef image, ControlState state) {
    store(backgroundImages_, state,
          image ? std::optional<ImageRef>(std::move(image)) : std::nullopt);
}

std::optional<std::string> Button::titleForState(ControlState state) const {
    return lookup(titles_, state);
}

Color Button::titleColorForState(ControlState state) const {
    return lookup(titleColors_, state).value_or(Color::white());
}

ImageRef Button::imageForState(ControlState state) const {
    return lookup(images_, state).value_or(nullptr);
}

ImageRef Button::backgroundImageForState(ControlState state) const {
    return lookup(backgroundImages_, state).value_or(nullptr);
}

Size Button::sizeThatFits(Size) const {
    Size content;
    if (auto image = currentImage()) content = image->size();
    if (auto title = currentTitle(); title && !title->empty()) {
        Size t = render::measureText(*title, titleFont_, std::numeric_limits<double>::infinity(),
                                     titleOptions());
        content.width += t.width;
        content.height = std::max(content.height, t.height);
    }
    if (auto background = currentBackgroundImage()) {
        content.width = std::max(content.width, background->size().width);
        content.height = std::max(content.height, background->size().height);
    }
    return content;
}

void Button::draw(render::Canvas& canvas, const Rect& rect) {
    if (auto background = currentBackgroundImage()) {
        canvas.drawImage(*background, rect, render::ContentMode::ScaleToFill);
    }
    auto image = currentImage();
    auto title = currentTitle();
    Size imageSize = image ? image->size() : Size{};
    Size titleSize;
    if (title && !title->empty()) {
        titleSize = render::measureText(*title, titleFont_, std::numeric_limits<double>::infinity(),
                                        titleOptions());
        titleSize.width = std::min(titleSize.width, std::max(0.0, rect.width() - imageSize.width));
    }
    double x = rect.center().x - (imageSize.width + titleSize.width) / 2;
    if (image) {
        canvas.drawImage(*image, Rect(Point{x, rect.center().y - imageSize.height / 2}, imageSize));
    }
    if (titleSize.width > 0) {
        canvas.drawText(
            *title,
            Rect(Point{x + imageSize.width, rect.center().y - titleSize.height / 2}, titleSize),
            titleFont_, currentTitleColor(), titleOptions());
    }
}

}  // namespace platform::ui
