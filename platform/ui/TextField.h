#pragma once
// A text field: one line of editable text, the game's number entries. While a number field is
// first responder the number pad (Keyboard.h) lies at the bottom of its window; its keys and the
// front end's typed keys both go through insertText and deleteBackward, and a tap on the field
// makes it first responder.
//
// Contract (main thread only):
//  - One first responder per window (Window::firstResponder). becomeFirstResponder asks the
//    delegate's textFieldShouldBeginEditing, resigns the window's current first responder,
//    then calls textFieldDidBeginEditing and sends EditingDidBegin. resignFirstResponder calls
//    textFieldDidEndEditing and sends EditingDidEnd. A field outside a window cannot become
//    first responder.
//  - insertText and deleteBackward ask textFieldShouldChangeCharactersInRangeReplacementString
//    first (ranges count Unicode characters); a refusal changes nothing. An accepted change
//    sends EditingChanged. A "\n" typed asks textFieldShouldReturn and, when it answers true,
//    sends EditingDidEndOnExit; it never enters the text. setText calls nobody.
//  - Delegate calls run synchronously inside the call that caused them.

#include <memory>
#include <string>

#include "platform/render/Text.h"
#include "platform/ui/Control.h"

namespace platform::ui {

class TextField;

enum class KeyboardType { Default, NumberPad, DecimalPad };
enum class TextBorderStyle { None, Line, RoundedRect };

// A range of characters of a text.
struct TextRange {
    int64_t location = 0;
    int64_t length = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// Every operation is optional; the defaults answer as a delegate that does not implement it.
class TextFieldDelegate {
  public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField& /*textField*/) { return true; }
    virtual void textFieldDidBeginEditing(TextField& /*textField*/) {}
    virtual void textFieldDidEndEditing(TextField& /*textField*/) {}
    virtual bool textFieldShouldChangeCharactersInRangeReplacementString(
        TextField& /*textField*/,
        TextRange /*range*/,
        const std::string& /*replacement*/) {
        return true;
    }
    virtual bool textFieldShouldReturn(TextField& /*textField*/) { return true; }
};

class TextField : public Control {
  public:
    TextField();
    explicit TextField(const Rect& frame);
    std::string className() const override { return "TextField"; }

    const std::string& text() const { return text_; }
    void setText(std::string text) { text_ = std::move(text); }
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string placeholder) { placeholder_ = std::move(placeholder); }
    const render::Font& font() const { return font_; }
    void setFont(render::Font font) { font_ = std::move(font); }
    Color textColor() const { return textColor_; }
    void setTextColor(const Color& color) { textColor_ = color; }
    render::TextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(render::TextAlignment alignment) { alignment_ = alignment; }
    KeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(KeyboardType type) { keyboardType_ = type; }
    TextBorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(TextBorderStyle style) { borderStyle_ = style; }

    std::shared_ptr<TextFieldDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { delegate_ = std::move(delegate); }

    bool becomeFirstResponder();
    bool resignFirstResponder();
    bool isFirstResponder() const;
    bool isEditing() const { return isFirstResponder(); }

    // What the keyboard sends (see above); ignored unless the field is first responder.
    void insertText(const std::string& text);
    void deleteBackward();

    void touchesEnded(const Touches& touches) override;
    void draw(render::Canvas& canvas, const Rect& rect) override;

  private:
    void replace(TextRange range, const std::string& replacement);

    std::string text_;
    std::string placeholder_;
    render::Font font_ = render::Font::system(17);
    Color textColor_ = Color::black();
    render::TextAlignment alignment_ = render::TextAlignment::Left;
    KeyboardType keyboardType_ = KeyboardType::Default;
    TextBorderStyle borderStyle_ = TextBorderStyle::None;
    std::weak_ptr<TextFieldDelegate> delegate_;
};

}  // namespace platform::ui
