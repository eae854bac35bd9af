// The number pad: drawn at the bottom of the window while a number field edits, its keys typing
// through the field's delegate, gone when the field resigns.

#include "platform/ui/Keyboard.h"

#include <gtest/gtest.h>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

// Digits only, as the game's number entries.
class DigitsOnly : public TextFieldDelegate {
  public:
    bool textFieldShouldChangeCharactersInRangeReplacementString(
        TextField&,
        TextRange,
        const std::string& replacement) override {
        return replacement.find_first_not_of("0123456789") == std::string::npos;
    }
};

const Color kBackdrop = Color::fromRGB255(30, 60, 90);

struct Pad {
    Pad() {
        window->setBackgroundColor(kBackdrop);
        field->setKeyboardType(KeyboardType::NumberPad);
        field->setDelegate(delegate);
        window->addSubview(field);
        window->makeKeyAndVisible();
    }

    // The key's centre, in window coordinates.
    Point keyAt(const std::string& name) {
        auto key = window->viewNamed(name);
        EXPECT_TRUE(key) << name;
        return key ? key->convertPointToView(key->bounds().center(), nullptr) : Point{};
    }
    void tapKey(const std::string& name) { window->tap(keyAt(name)); }

    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<TextField> field = std::make_shared<TextField>(Rect(20, 100, 120, 32));
    std::shared_ptr<DigitsOnly> delegate = std::make_shared<DigitsOnly>();
};

// A colour drawn at a window point, from a snapshot at the screen's scale.
Color drawnAt(Window& window, Point p) {
    auto bitmap = snapshot(window);
    return bitmap.pixelAt(int(p.x * bitmap.scale()), int(p.y * bitmap.scale()));
}

bool near(const Color& a, const Color& b) {
    return std::abs(a.red - b.red) < 0.03 && std::abs(a.green - b.green) < 0.03 &&
           std::abs(a.blue - b.blue) < 0.03;
}

TEST(Keyboard, ANumberFieldBeingEditedShowsThePadAndItsKeysTypeIntoIt) {
    Pad pad;
    const Point bottom{160, 568 - 10};
    EXPECT_TRUE(near(drawnAt(*pad.window, bottom), kBackdrop));
    EXPECT_EQ(KeyboardView::current(), nullptr);

    pad.window->tap(pad.field->center());
    ASSERT_TRUE(pad.field->isFirstResponder());
    auto keyboard = KeyboardView::current();
    ASSERT_TRUE(keyboard);
    EXPECT_EQ(keyboard->window(), pad.window);
    EXPECT_EQ(keyboard->frame(), Rect(0, 568 - KeyboardView::kHeight, 320, KeyboardView::kHeight));
    EXPECT_EQ(pad.window->subviews().back(), keyboard) << "in front of everything";

    // Drawn: the keys are near white where the window was dark blue, with the digit in ink.
    const Point two = pad.keyAt("key2");
    const Color key = drawnAt(*pad.window, {two.x + 30, two.y});
    EXPECT_GT(key.red, 0.9);
    EXPECT_GT(key.blue, 0.9);
    EXPECT_FALSE(near(drawnAt(*pad.window, bottom), kBackdrop));

    // A quantity typed by tapping its keys, a mistake deleted.
    for (const char* name : {"key1", "key2", "key9", "keydelete", "key0"})
        pad.tapKey(name);
    EXPECT_EQ(pad.field->text(), "120");
    EXPECT_TRUE(pad.field->isFirstResponder()) << "the pad does not take the focus";

    pad.field->resignFirstResponder();
    EXPECT_EQ(KeyboardView::current(), nullptr);
    EXPECT_EQ(pad.window->viewNamed("key1"), nullptr);
    EXPECT_TRUE(near(drawnAt(*pad.window, bottom), kBackdrop)) << "gone from the screen";
}

TEST(Keyboard, KeysGoThroughTheDelegateAndTapsOnThePadReachNoRecognizer) {
    Pad pad;
    // A recognizer on a view behind the pad, as the game's screen-wide tap that closes the
    // keyboard.
    auto board = std::make_shared<View>(Rect(0, 0, 320, 568));
    pad.window->insertSubviewAtIndex(board, 0);
    int boardTaps = 0;
    board->addGestureRecognizer(
        std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++boardTaps; }));

    ASSERT_TRUE(pad.field->becomeFirstResponder());
    auto decimal = std::make_shared<TextField>(Rect(20, 200, 120, 32));
    decimal->setKeyboardType(KeyboardType::DecimalPad);
    decimal->setDelegate(pad.delegate);
    pad.window->addSubview(decimal);

    pad.tapKey("key7");
    EXPECT_EQ(pad.field->text(), "7");
    EXPECT_EQ(pad.window->viewNamed("keydot"), nullptr) << "a number pad has no dot";
    EXPECT_EQ(boardTaps, 0);

    // Another field's pad replaces the first one; the digits-only delegate refuses the dot.
    ASSERT_TRUE(decimal->becomeFirstResponder());
    EXPECT_EQ(KeyboardView::current()->type(), KeyboardType::DecimalPad);
    pad.tapKey("keydot");
    pad.tapKey("key5");
    EXPECT_EQ(decimal->text(), "5");
    EXPECT_EQ(pad.field->text(), "7");

    // A field of the default type shows no pad.
    auto plain = std::make_shared<TextField>(Rect(20, 300, 120, 32));
    pad.window->addSubview(plain);
    ASSERT_TRUE(plain->becomeFirstResponder());
    EXPECT_EQ(KeyboardView::current(), nullptr);
}

}  // namespace
}  // namespace platform::ui
