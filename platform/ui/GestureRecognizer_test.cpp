#include "platform/ui/GestureRecognizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

// Records the touches the view itself gets.
class TouchLog : public View {
  public:
    using View::View;
    void touchesBegan(const Touches&) override { calls.push_back("began"); }
    void touchesMoved(const Touches&) override { calls.push_back("moved"); }
    void touchesEnded(const Touches&) override { calls.push_back("ended"); }
    void touchesCancelled(const Touches&) override { calls.push_back("cancelled"); }
    std::vector<std::string> calls;
};

class Gestures : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::useVirtual();
        window = std::make_shared<Window>();
        panel = std::make_shared<TouchLog>(Rect(0, 100, 320, 300));
        window->addSubview(panel);
        window->makeKeyAndVisible();
        tap = std::make_shared<TapGestureRecognizer>([this](GestureRecognizer& r) {
            EXPECT_EQ(r.state(), GestureState::Ended);
            where = r.locationInView(panel.get());
            ++taps;
        });
        panel->addGestureRecognizer(tap);
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<TouchLog> panel;
    std::shared_ptr<TapGestureRecognizer> tap;
    int taps = 0;
    Point where;
};

TEST_F(Gestures, TapFiresOnceAndCancelsTheViewsTouch) {
    window->tap({50, 150});
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(where, (Point{50, 50}));
    EXPECT_EQ(tap->state(), GestureState::Possible);  // reset once the touch is over
    EXPECT_EQ(tap->view(), panel);
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"began", "cancelled"}));

    panel->calls.clear();
    tap->setCancelsTouchesInView(false);
    Clock::advance(1);
    window->tap({50, 150});
    EXPECT_EQ(taps, 2);
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"began", "ended"}));
}

TEST_F(Gestures, AMoveBeyondTheSlopFailsTheTap) {
    window->sendTouch(TouchPhase::Began, {50, 150});
    window->sendTouch(TouchPhase::Moved, {80, 150});
    EXPECT_EQ(tap->state(), GestureState::Failed);
    window->sendTouch(TouchPhase::Ended, {80, 150});
    EXPECT_EQ(taps, 0);
    EXPECT_EQ(tap->state(), GestureState::Possible);
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"began", "moved", "ended"}));
}

TEST_F(Gestures, DisabledRecognizerAndTouchesOutsideItsView) {
    window->tap({50, 50});  // above the panel
    tap->setEnabled(false);
    window->tap({50, 150});
    EXPECT_EQ(taps, 0);
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"began", "ended"}));
}

TEST_F(Gestures, DoubleTapCountsTapsCloseInTimeAndPlace) {
    tap->setNumberOfTapsRequired(2);
    window->tap({50, 150});
    EXPECT_EQ(taps, 0);
    Clock::advance(0.2);
    window->tap({55, 152});
    EXPECT_EQ(taps, 1);
    Clock::advance(1);  // too late to count on
    window->tap({55, 152});
    EXPECT_EQ(taps, 1);
}

TEST_F(Gestures, AButtonKeepsItsTapFromTheRecognizerAroundIt) {
    auto button = std::make_shared<Button>(Rect(10, 10, 100, 40));
    panel->addSubview(button);
    int pressed = 0;
    button->addTarget([&](Control&, ControlEvent) { ++pressed; }, ControlEvent::TouchUpInside);
    window->tap({20, 120});
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(taps, 0);

    // A recognizer on the button itself still sees it.
    int ownTaps = 0;
    button->addGestureRecognizer(
        std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++ownTaps; }));
    Clock::advance(1);
    window->tap({20, 120});
    EXPECT_EQ(ownTaps, 1);
    EXPECT_EQ(pressed, 1);  // its touch was cancelled before lifting inside
}

// A continuous recognizer of the kind an SDK writes: begins on touch-down, changes on each move.
class DragRecognizer : public GestureRecognizer {
  public:
    using GestureRecognizer::GestureRecognizer;
    void touchesBegan(const Touches&) override { setState(GestureState::Began); }
    void touchesMoved(const Touches&) override { setState(GestureState::Changed); }
    void touchesEnded(const Touches&) override { setState(GestureState::Ended); }
    void touchesCancelled(const Touches&) override { setState(GestureState::Cancelled); }
    void reset() override {
        GestureRecognizer::reset();
        ++resets;
    }
    int resets = 0;
};

TEST_F(Gestures, SubclassDrivesItsStatesAndTheViewGetsNothing) {
    std::vector<std::pair<GestureState, Point>> seen;
    auto drag = std::make_shared<DragRecognizer>(
        [&](GestureRecognizer& r) { seen.emplace_back(r.state(), r.locationInView(nullptr)); });
    panel->addGestureRecognizer(drag);
    panel->removeGestureRecognizer(tap);
    EXPECT_EQ(tap->view(), nullptr);

    window->sendTouch(TouchPhase::Began, {10, 110});
    EXPECT_EQ(drag->numberOfTouches(), 1u);
    window->sendTouch(TouchPhase::Moved, {20, 120});
    window->sendTouch(TouchPhase::Ended, {30, 130});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(GestureState::Began, Point{10, 110}));
    EXPECT_EQ(seen[1], std::make_pair(GestureState::Changed, Point{20, 120}));
    EXPECT_EQ(seen[2], std::make_pair(GestureState::Ended, Point{30, 130}));
    EXPECT_TRUE(panel->calls.empty());  // recognized at touch-down, before the view saw it
    EXPECT_EQ(drag->resets, 1);
    EXPECT_EQ(drag->state(), GestureState::Possible);
    EXPECT_EQ(drag->numberOfTouches(), 0u);
}

}  // namespace
}  // namespace platform::ui
