#pragma once
// The phone's on-screen keyboard, as far as the app's fields need it: the number pad. While a
// text field whose keyboard type is a number or decimal pad is first responder, the pad lies
// across the bottom of the field's window, in front of everything else there, and goes away
// when the field resigns, as the phone's does. Its keys type into the field exactly as the
// front end's typed keys do (TextField::insertText and deleteBackward, so the delegate's veto
// holds). Fields of the default keyboard type show no keyboard; typed keys still reach them.
//
// Contract (main thread only):
//  - TextField calls keyboardFieldBeganEditing and keyboardFieldEndedEditing when it becomes
//    or resigns first responder; nothing else needs to.
//  - The pad is a view named "keyboard", KeyboardView::kHeight points tall and as wide as the
//    window, fixed to the window (not to the view the app may move out of its way). Its keys
//    are named "key0" to "key9" and "keydelete" ("keydot" too on a decimal pad), so scripts and
//    tests tap them by name.
//  - A key sends on touch-up inside, like a button; touching the pad never changes the first
//    responder, and taps on it reach no gesture recognizer of the app's views.

#include <memory>

#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

namespace platform::ui {

class KeyboardView : public View {
  public:
    static constexpr double kHeight = 216;

    // A pad with its keys, not in any window yet.
    static std::shared_ptr<KeyboardView> create(KeyboardType type);
    explicit KeyboardView(KeyboardType type);
    std::string className() const override { return "KeyboardView"; }

    KeyboardType type() const { return type_; }
    void layoutSubviews() override;
    void draw(render::Canvas& canvas, const Rect& rect) override;

    // The pad on screen, or null when no field shows one.
    static std::shared_ptr<KeyboardView> current();

  private:
    KeyboardType type_;
};

void keyboardFieldBeganEditing(TextField& field);
void keyboardFieldEndedEditing(TextField& field);

}  // namespace platform::ui
