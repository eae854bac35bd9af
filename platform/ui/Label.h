#pragma once
// A label: read-only text in a font and colour. The game's status bar, dialog texts and table
// cells. Text is centred vertically in the bounds and laid out like render's drawText (lines
// wrap at the bounds width, at most numberOfLines lines, 0 for no limit). A font naming a family
// that is not installed draws with the system font. Labels take no touches by default. Main
// thread only.

#include <string>

#include "platform/render/Text.h"
#include "platform/ui/View.h"

namespace platform::ui {

using render::Font;
using render::LineBreak;
using render::TextAlignment;

class Label : public View {
  public:
    Label();
    explicit Label(const Rect& frame);
    std::string className() const override { return "Label"; }

    const std::string& text() const { return text_; }
    void setText(std::string text) { text_ = std::move(text); }
    const Font& font() const { return font_; }
    void setFont(Font font) { font_ = std::move(font); }
    Color textColor() const { return textColor_; }
    void setTextColor(const Color& color) { textColor_ = color; }
    TextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(TextAlignment alignment) { alignment_ = alignment; }
    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int lines) { numberOfLines_ = lines; }
    LineBreak lineBreakMode() const { return lineBreak_; }
    void setLineBreakMode(LineBreak mode) { lineBreak_ = mode; }

    // The text's measured size, wrapped at `size.width` when lines may wrap.
    Size sizeThatFits(Size size) const override;
    void draw(render::Canvas& canvas, const Rect& rect) override;

  private:
    render::TextOptions options() const;

    std::string text_;
    Font font_ = Font::system(17);
    Color textColor_ = Color::black();
    TextAlignment alignment_ = TextAlignment::Left;
    int numberOfLines_ = 1;
    LineBreak lineBreak_ = LineBreak::TruncateTail;
};

}  // namespace platform::ui
