#include "platform/ui/Control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/render/PixelTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

const char* eventName(ControlEvent e) {
    switch (e) {
        case ControlEvent::TouchDown:
            return "down";
        case ControlEvent::TouchDragInside:
            return "drag-in";
        case ControlEvent::TouchDragOutside:
            return "drag-out";
        case ControlEvent::TouchUpInside:
            return "up-in";
        case ControlEvent::TouchUpOutside:
            return "up-out";
        case ControlEvent::TouchCancel:
            return "cancel";
        case ControlEvent::ValueChanged:
            return "value";
        default:
            return "other";
    }
}

// Records what reaches a plain view: touches that a control lets through end up here.
class Backdrop : public View {
  public:
    using View::View;
    void touchesBegan(const Touches&) override { ++touches; }
    int touches = 0;
};

// A window with a backdrop and one button at (50, 50, 100, 40) that records its events.
class ButtonInWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_shared<Window>();
        backdrop = std::make_shared<Backdrop>(window->bounds());
        window->addSubview(backdrop);
        button = std::make_shared<Button>(Rect(50, 50, 100, 40));
        backdrop->addSubview(button);
        window->makeKeyAndVisible();
        button->addTarget(
            [this](Control& sender, ControlEvent e) {
                EXPECT_EQ(&sender, button.get());
                events.push_back(eventName(e));
            },
            ControlEvent::AllTouchEvents);
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<Backdrop> backdrop;
    std::shared_ptr<Button> button;
    std::vector<std::string> events;
};

TEST_F(ButtonInWindow, TouchUpInsideVersusDragOut) {
    struct Case {
        const char* name;
        std::vector<Point>
            moves;  // after the touch-down at (60, 60); the last one is where it lifts
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"tap", {{60, 60}}, {"down", "up-in"}},
        {"drag out", {{200, 200}, {200, 200}}, {"down", "drag-out", "up-out"}},
        {"out and back in",
         {{200, 200}, {70, 70}, {70, 70}},
         {"down", "drag-out", "drag-in", "up-in"}},
    };
    for (const auto& c : cases) {
        events.clear();
        window->sendTouch(TouchPhase::Began, {60, 60});
        EXPECT_TRUE(button->isHighlighted()) << c.name;
        for (size_t i = 0; i + 1 < c.moves.size(); ++i) {
            window->sendTouch(TouchPhase::Moved, c.moves[i]);
        }
        window->sendTouch(TouchPhase::Ended, c.moves.back());
        EXPECT_EQ(events, c.expected) << c.name;
        EXPECT_FALSE(button->isHighlighted()) << c.name;
        EXPECT_FALSE(button->isTracking()) << c.name;
    }
    EXPECT_EQ(backdrop->touches, 0);
}

TEST_F(ButtonInWindow, HighlightFollowsTheTouchAndCancelEndsIt) {
    window->sendTouch(TouchPhase::Began, {60, 60});
    window->sendTouch(TouchPhase::Moved, {10, 10});
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_EQ(button->state(), ControlState::Normal);
    window->sendTouch(TouchPhase::Moved, {60, 60});
    EXPECT_EQ(button->state(), ControlState::Highlighted);
    window->sendTouch(TouchPhase::Cancelled, {60, 60});
    EXPECT_EQ(events, (std::vector<std::string>{"down", "drag-out", "drag-in", "cancel"}));
    EXPECT_FALSE(button->isHighlighted());
}

TEST_F(ButtonInWindow, DisabledButtonSendsNothingAndKeepsTheTouch) {
    button->setEnabled(false);
    window->tap({60, 60});
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_EQ(button->state(), ControlState::Disabled);
    EXPECT_EQ(backdrop->touches, 0);

    button->setEnabled(true);
    window->tap({60, 60});
    EXPECT_EQ(events, (std::vector<std::string>{"down", "up-in"}));
}

TEST_F(ButtonInWindow, HiddenButtonLetsTheTouchThrough) {
    button->setHidden(true);
    window->tap({60, 60});
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(backdrop->touches, 1);
}

TEST(ControlActions, NamedActionsReachTheSinkInOrderWithHandlers) {
    auto control = std::make_shared<Control>(Rect(0, 0, 10, 10));
    std::vector<std::string> calls;
    control->addAction("buyGoods:", ControlEvent::TouchUpInside);
    int id = control->addTarget([&](Control&, ControlEvent) { calls.push_back("handler"); },
                                ControlEvent::TouchUpInside | ControlEvent::ValueChanged);
    control->addAction("changed:", ControlEvent::ValueChanged);

    // Without a sink the named action is only logged.
    control->sendActionsForEvents(ControlEvent::TouchUpInside);
    EXPECT_EQ(calls, (std::vector<std::string>{"handler"}));

    calls.clear();
    control->setActionSink([&](const std::string& action, Control& sender) {
        EXPECT_EQ(&sender, control.get());
        calls.push_back(action);
    });
    control->sendActionsForEvents(ControlEvent::ValueChanged | ControlEvent::TouchUpInside);
    // Events go in bit order (TouchUpInside before ValueChanged), targets in the order added.
    EXPECT_EQ(calls, (std::vector<std::string>{"buyGoods:", "handler", "handler", "changed:"}));

    calls.clear();
    control->removeTarget(id);
    control->sendActionsForEvents(ControlEvent::TouchUpInside);
    EXPECT_EQ(calls, (std::vector<std::string>{"buyGoods:"}));
    EXPECT_EQ(control->actionsForEvent(ControlEvent::ValueChanged),
              (std::vector<std::string>{"changed:"}));
}

TEST(ControlActions, AHandlerMayRemoveItsControl) {
    auto parent = std::make_shared<View>();
    auto control = std::make_shared<Control>(Rect(0, 0, 10, 10));
    parent->addSubview(control);
    std::weak_ptr<Control> weak = control;
    int after = 0;
    control->addTarget([&](Control& c, ControlEvent) { c.removeFromSuperview(); },
                       ControlEvent::TouchUpInside);
    control->addTarget([&](Control&, ControlEvent) { ++after; }, ControlEvent::TouchUpInside);
    Control* raw = control.get();
    control.reset();
    raw->sendActionsForEvents(ControlEvent::TouchUpInside);
    EXPECT_EQ(after, 1);
    EXPECT_TRUE(weak.expired());
}

// ---- Button values per state ----

ImageRef solid(const Color& color, Size points = {10, 10}) {
    render::Bitmap bitmap(points, 2);
    render::Canvas(bitmap).fillRect(Rect(Point{}, points), color);
    auto image = render::Image::fromData(bitmap.pngData(), 2);
    return std::make_shared<const render::Image>(*image);
}

TEST(ButtonState, ValuesFallBackToNormal) {
    Button b;
    auto normal = solid({1, 0, 0, 1});
    auto pressed = solid({0, 0, 1, 1});
    b.setBackgroundImage(normal, ControlState::Normal);
    b.setBackgroundImage(pressed, ControlState::Highlighted);
    b.setTitle("买入", ControlState::Normal);
    b.setTitle("卖出", ControlState::Selected);
    b.setTitleColor(Color::black(), ControlState::Disabled);

    struct Case {
        ControlState state;
        ImageRef background;
        const char* title;
        Color titleColor;
    };
    const Case cases[] = {
        {ControlState::Normal, normal, "买入", Color::white()},
        {ControlState::Highlighted, pressed, "买入", Color::white()},
        {ControlState::Disabled, normal, "买入", Color::black()},
        {ControlState::Selected, normal, "卖出", Color::white()},
        // A combination without its own value goes straight to Normal.
        {ControlState::Selected | ControlState::Highlighted, normal, "买入", Color::white()},
    };
    for (const auto& c : cases) {
        auto state = static_cast<unsigned>(c.state);
        EXPECT_EQ(b.backgroundImageForState(c.state), c.background) << state;
        EXPECT_EQ(b.titleForState(c.state), c.title) << state;
        EXPECT_EQ(b.titleColorForState(c.state), c.titleColor) << state;
        EXPECT_EQ(b.imageForState(c.state), nullptr) << state;
    }

    b.setTitle(std::nullopt, ControlState::Selected);
    EXPECT_EQ(b.titleForState(ControlState::Selected), "买入");
    b.setSelected(true);
    EXPECT_EQ(b.currentTitle(), "买入");
    b.setEnabled(false);  // disabled and selected: no value of its own
    EXPECT_EQ(b.currentTitleColor(), Color::white());
    b.setSelected(false);
    EXPECT_EQ(b.currentTitleColor(), Color::black());
}

TEST(ButtonState, DrawsTheBackgroundOfTheCurrentStateStretched) {
    auto b = std::make_shared<Button>(Rect(0, 0, 60, 30));
    b->setBackgroundImage(solid({1, 0, 0, 1}), ControlState::Normal);
    b->setBackgroundImage(solid({0, 0, 1, 1}), ControlState::Highlighted);
    using render::testing::colorNear;
    render::Bitmap normal = snapshot(*b);
    EXPECT_TRUE(colorNear(normal.pixelAt(1, 1), {1, 0, 0, 1}));
    EXPECT_TRUE(colorNear(normal.pixelAt(118, 58), {1, 0, 0, 1}));  // stretched to the corner
    b->setHighlighted(true);
    render::Bitmap pressed = snapshot(*b);
    EXPECT_TRUE(colorNear(pressed.pixelAt(60, 30), {0, 0, 1, 1}));
}

TEST(ButtonState, TitleInkIsCentred) {
    auto b = std::make_shared<Button>(Rect(0, 0, 200, 40));
    b->setBackgroundColor(Color::white());
    b->setTitle("确定", ControlState::Normal);
    b->setTitleColor(Color::black(), ControlState::Normal);
    render::Bitmap bitmap = snapshot(*b);
    using render::testing::countPixels;
    using render::testing::isDark;
    int left = countPixels(bitmap, Rect(0, 0, 200, 80), isDark);
    int right = countPixels(bitmap, Rect(200, 0, 200, 80), isDark);
    EXPECT_GT(left, 50);
    EXPECT_GT(right, 50);
    EXPECT_EQ(countPixels(bitmap, Rect(0, 0, 120, 80), isDark), 0);
    EXPECT_EQ(countPixels(bitmap, Rect(280, 0, 120, 80), isDark), 0);
}

}  // namespace
}  // namespace platform::ui
