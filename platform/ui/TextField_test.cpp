// Text fields: first responder per window, typing through the delegate's veto, and the
// editing events.

#include "platform/ui/TextField.h"

#include <gtest/gtest.h>

#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

// Lets only digits in, like the game's number entries, and records what it hears.
class DigitsOnly : public TextFieldDelegate {
  public:
    bool textFieldShouldBeginEditing(TextField&) override { return allowBegin; }
    void textFieldDidBeginEditing(TextField& field) override {
        calls.push_back("begin " + field.name());
    }
    void textFieldDidEndEditing(TextField& field) override {
        calls.push_back("end " + field.name());
    }
    bool textFieldShouldChangeCharactersInRangeReplacementString(
        TextField&,
        TextRange range,
        const std::string& replacement) override {
        ranges.push_back(range);
        return replacement.find_first_not_of("0123456789") == std::string::npos;
    }
    bool textFieldShouldReturn(TextField&) override {
        calls.push_back("return");
        return true;
    }

    bool allowBegin = true;
    std::vector<std::string> calls;
    std::vector<TextRange> ranges;
};

struct Fixture {
    Fixture() {
        window->makeKeyAndVisible();
        for (auto& [field, name] : {std::pair{buy, "buy"}, std::pair{sell, "sell"}}) {
            field->setName(name);
            field->setDelegate(delegate);
            window->addSubview(field);
        }
    }
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<TextField> buy = std::make_shared<TextField>(Rect(10, 10, 100, 30));
    std::shared_ptr<TextField> sell = std::make_shared<TextField>(Rect(10, 60, 100, 30));
    std::shared_ptr<DigitsOnly> delegate = std::make_shared<DigitsOnly>();
};

TEST(TextField, OneFirstResponderPerWindowAndTappingFocuses) {
    Fixture f;
    std::vector<std::string> events;
    f.buy->addTarget(
        [&](Control&, ControlEvent e) {
            events.push_back(e == ControlEvent::EditingDidBegin ? "didBegin" : "didEnd");
        },
        ControlEvent::EditingDidBegin | ControlEvent::EditingDidEnd);

    f.window->tap({20, 20});
    EXPECT_TRUE(f.buy->isFirstResponder());
    EXPECT_EQ(f.window->firstResponder(), f.buy);
    f.window->tap({20, 70});
    EXPECT_FALSE(f.buy->isFirstResponder());
    EXPECT_TRUE(f.sell->isFirstResponder());
    EXPECT_TRUE(f.sell->resignFirstResponder());
    EXPECT_EQ(f.window->firstResponder(), nullptr);
    EXPECT_EQ(f.delegate->calls,
              (std::vector<std::string>{"begin buy", "end buy", "begin sell", "end sell"}));
    EXPECT_EQ(events, (std::vector<std::string>{"didBegin", "didEnd"}));

    f.delegate->allowBegin = false;
    EXPECT_FALSE(f.buy->becomeFirstResponder());
    EXPECT_EQ(f.window->firstResponder(), nullptr);

    TextField loose(Rect(0, 0, 10, 10));  // in no window
    EXPECT_FALSE(loose.becomeFirstResponder());
}

TEST(TextField, TypingGoesThroughTheDelegate) {
    Fixture f;
    int changes = 0;
    f.buy->addTarget([&](Control&, ControlEvent) { ++changes; }, ControlEvent::EditingChanged);
    f.buy->insertText("5");  // not editing: ignored
    EXPECT_EQ(f.buy->text(), "");
    ASSERT_TRUE(f.buy->becomeFirstResponder());

    for (const char* typed : {"1", "2", "a", "007"})
        f.buy->insertText(typed);
    EXPECT_EQ(f.buy->text(), "12007");  // "12a" is refused at the "a"; a pasted "007" goes in
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(f.delegate->ranges, (std::vector<TextRange>{{0, 0}, {1, 0}, {2, 0}, {2, 0}}));

    f.buy->deleteBackward();
    EXPECT_EQ(f.buy->text(), "1200");
    EXPECT_EQ(f.delegate->ranges.back(), (TextRange{4, 1}));

    f.buy->insertText("\n");  // the return key asks the delegate and enters nothing
    EXPECT_EQ(f.buy->text(), "1200");
    EXPECT_EQ(f.delegate->calls.back(), "return");
}

TEST(TextField, RangesCountCharactersNotBytes) {
    Fixture f;
    f.sell->setDelegate({});
    ASSERT_TRUE(f.sell->becomeFirstResponder());
    f.sell->insertText("买房");
    f.sell->insertText("1");
    f.sell->deleteBackward();
    f.sell->deleteBackward();
    EXPECT_EQ(f.sell->text(), "买");
    f.sell->deleteBackward();
    f.sell->deleteBackward();  // nothing left to delete
    EXPECT_EQ(f.sell->text(), "");
}

}  // namespace
}  // namespace platform::ui
