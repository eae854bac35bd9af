#include "platform/ui/TextField.h"

#include "platform/ui/Keyboard.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

int64_t characterCount(const std::string& text) {
    int64_t n = 0;
    for (char c : text) {
        if (!isContinuation(c)) ++n;
    }
    return n;
}

// The byte offset of character `index` (the end for an index past the last character).
size_t byteOffset(const std::string& text, int64_t index) {
    int64_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!isContinuation(text[i])) {
            if (seen == index) return i;
            ++seen;
        }
    }
    return text.size();
}

constexpr double kInset = 6;

}  // namespace

TextField::TextField() = default;

TextField::TextField(const Rect& frame) : Control(frame) {}

bool TextField::isFirstResponder() const {
    auto w = window();
    return w && w->firstResponder().get() == this;
}

bool TextField::becomeFirstResponder() {
    assertMainThread("TextField::becomeFirstResponder");
    auto w = window();
    if (!w) return false;
    if (w->firstResponder().get() == this) return true;
    auto d = delegate();
    if (d && !d->textFieldShouldBeginEditing(*this)) return false;
    if (auto current = std::dynamic_pointer_cast<TextField>(w->firstResponder())) {
        current->resignFirstResponder();
    }
    w->setFirstResponder(shared_from_this());
    keyboardFieldBeganEditing(*this);
    if (d) d->textFieldDidBeginEditing(*this);
    sendActionsForEvents(ControlEvent::EditingDidBegin);
    return true;
}

bool TextField::resignFirstResponder() {
    assertMainThread("TextField::resignFirstResponder");
    auto w = window();
    if (!w || w->firstResponder().get() != this) return true;
    w->setFirstResponder(nullptr);
    keyboardFieldEndedEditing(*this);
    if (auto d = delegate()) d->textFieldDidEndEditing(*this);
    sendActionsForEvents(ControlEvent::EditingDidEnd);
    return true;
}

void TextField::insertText(const std::string& text) {
    assertMainThread("TextField::insertText");
    if (!isFirstResponder()) return;
    if (text == "\n") {
        auto d = delegate();
        if (!d || d->textFieldShouldReturn(*this)) {
            sendActionsForEvents(ControlEvent::EditingDidEndOnExit);
        }
        return;
    }
    replace({characterCount(text_), 0}, text);
}

void TextField::deleteBackward() {
    assertMainThread("TextField::deleteBackward");
    if (!isFirstResponder() || text_.empty()) return;
    replace({characterCount(text_) - 1, 1}, "");
}

void TextField::replace(TextRange range, const std::string& replacement) {
    if (auto d = delegate()) {
        if (!d->textFieldShouldChangeCharactersInRangeReplacementString(*this, range,
                                                                        replacement)) {
            return;
        }
    }
    size_t from = byteOffset(text_, range.location);
    size_t to = byteOffset(text_, range.location + range.length);
    text_.replace(from, to - from, replacement);
    sendActionsForEvents(ControlEvent::EditingChanged);
}

void TextField::touchesEnded(const Touches& touches) {
    bool inside = !touches.empty() && pointInside(touches.front()->locationInView(this));
    Control::touchesEnded(touches);
    if (inside && isEnabled()) becomeFirstResponder();
}

void TextField::draw(render::Canvas& canvas, const Rect& rect) {
    switch (borderStyle_) {
        case TextBorderStyle::None:
            break;
        case TextBorderStyle::Line:
            canvas.strokeRect(rect, Color::black(), 1);
            break;
        case TextBorderStyle::RoundedRect:
            canvas.fillRect(rect, Color::white(), 5);
            canvas.strokeRect(rect, Color::fromRGB255(200, 200, 200), 1, 5);
            break;
    }
    Rect inner = rect.insetBy(kInset, 0);
    bool showPlaceholder = text_.empty();
    const std::string& shown = showPlaceholder ? placeholder_ : text_;
    render::TextOptions options;
    options.alignment = alignment_;
    options.lineBreak = render::LineBreak::TruncateTail;
    options.numberOfLines = 1;
    Size measured = render::measureText(shown.empty() ? "0" : shown, font_, inner.width(), options);
    double top = inner.minY() + (inner.height() - measured.height) / 2;
    if (!shown.empty()) {
        Color color = showPlaceholder ? Color::fromRGB255(199, 199, 205) : textColor_;
        canvas.drawText(shown, Rect(inner.minX(), top, inner.width(), measured.height), font_,
                        color, options);
    }
    if (isFirstResponder()) {
        // The caret after the text.
        double textWidth =
            showPlaceholder ? 0 : std::min(render::measureText(text_, font_).width, inner.width());
        double x = inner.minX();
        if (alignment_ == render::TextAlignment::Center) {
            x += (inner.width() + textWidth) / 2;
        } else if (alignment_ == render::TextAlignment::Right) {
            x = inner.maxX();
        } else {
            x += textWidth;
        }
        canvas.fillRect(Rect(x, top, 2, measured.height), Color::fromRGB255(0, 122, 255));
    }
}

}  // namespace platform::ui
