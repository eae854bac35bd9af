#include "ads/foundation/HRNWiggleGestureRecognizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/ui/Window.h"

namespace {

using platform::ui::GestureState;
using platform::ui::Point;
using platform::ui::TouchPhase;

// A recorded finger path: the touch-down point, then every sample of the moves, then the lift.
struct Recording {
    std::vector<Point> samples;
};

// Legs along the axis (signed lengths), sampled every 5 points; `drift` moves every sample of
// the leg with that index across the axis by that much.
Recording legs(const std::vector<double>& lengths,
               int64_t axis,
               std::optional<std::pair<size_t, double>> drift = std::nullopt) {
    Recording r;
    Point p{160, 200};
    r.samples.push_back(p);
    for (size_t leg = 0; leg < lengths.size(); ++leg) {
        const double step = lengths[leg] > 0 ? 5 : -5;
        for (double done = 0; std::fabs(done) < std::fabs(lengths[leg]); done += step) {
            (axis == 0 ? p.x : p.y) += step;
            if (drift && drift->first == leg) (axis == 0 ? p.y : p.x) += drift->second;
            r.samples.push_back(p);
        }
    }
    return r;
}

class Wiggle : public ::testing::Test {
  protected:
    void start(int64_t axis) {
        platform::Clock::useVirtual();
        window = std::make_shared<platform::ui::Window>();
        panel = std::make_shared<platform::ui::View>(platform::ui::Rect(0, 0, 320, 480));
        window->addSubview(panel);
        window->makeKeyAndVisible();
        wiggle = std::make_shared<HRNWiggleGestureRecognizer>(axis);
        wiggle->addTarget([this](platform::ui::GestureRecognizer& r) {
            EXPECT_EQ(r.state(), GestureState::Ended);
            ++recognized;
        });
        panel->addGestureRecognizer(wiggle);
    }

    // Plays the recording through the window; answers the index of the first sample after
    // which the recognizer had failed (std::nullopt when it never did before the lift).
    std::optional<size_t> play(const Recording& r) {
        std::optional<size_t> failedAt;
        for (size_t i = 0; i < r.samples.size(); ++i) {
            platform::Clock::advance(0.01);
            window->sendTouch(i == 0 ? TouchPhase::Began : TouchPhase::Moved, r.samples[i]);
            if (!failedAt && wiggle->state() == GestureState::Failed) failedAt = i;
        }
        window->sendTouch(TouchPhase::Ended, r.samples.back());
        return failedAt;
    }

    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::View> panel;
    std::shared_ptr<HRNWiggleGestureRecognizer> wiggle;
    int recognized = 0;
};

TEST_F(Wiggle, RecordedPathsOnBothAxes) {
    struct Case {
        const char* what;
        int64_t axis;
        std::vector<double> legs;
        std::optional<std::pair<size_t, double>> drift;
        bool recognized;
        std::optional<size_t> failsAtSample;
    };
    const std::vector<Case> cases = {
        {"four legs, the last one short", 0, {20, -20, 20, -10}, {}, true, {}},
        {"four legs, vertical axis", 1, {20, -20, 20, -10}, {}, true, {}},
        {"first leg under 15 fails at the turn", 0, {10, -20}, {}, false, 3},
        {"third leg under 15 fails at the turn", 0, {20, -20, 10, -20}, {}, false, 11},
        {"a fifth leg fails", 0, {20, -20, 20, -10, 10}, {}, false, 15},
        {"lifted after three legs", 0, {20, -20, 20}, {}, false, {}},
        {"starting backwards fails at once", 0, {-20, 20, -20, 20}, {}, false, 1},
        {"6 points across the axis fail",
         0,
         {20, -20, 20, -10},
         std::pair<size_t, double>{1, 6},
         false,
         5},
        {"5 points across the axis do not",
         0,
         {20, -20, 20, -10},
         std::pair<size_t, double>{1, 5},
         true,
         {}},
        {"horizontal drift fails the vertical axis",
         1,
         {20, -20, 20, -10},
         std::pair<size_t, double>{0, 6},
         false,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(c.axis);
        std::optional<size_t> failedAt = play(legs(c.legs, c.axis, c.drift));
        EXPECT_EQ(recognized, c.recognized ? 1 : 0);
        EXPECT_EQ(failedAt, c.failsAtSample);
        // The window resets the recognizer once the touch is over.
        EXPECT_EQ(wiggle->state(), GestureState::Possible);
        EXPECT_EQ(wiggle->gestureState(), 0);
        EXPECT_EQ(wiggle->distanceMoved(), 0);
        recognized = 0;
    }
}

TEST_F(Wiggle, LegsCountTheirLengthAndTheNextLegStartsWithTheTurningSample) {
    start(0);
    Recording r = legs({20, -20}, 0);
    window->sendTouch(TouchPhase::Began, r.samples[0]);
    for (size_t i = 1; i <= 4; ++i)
        window->sendTouch(TouchPhase::Moved, r.samples[i]);
    EXPECT_EQ(wiggle->gestureState(), 1);
    EXPECT_EQ(wiggle->distanceMoved(), 20);
    window->sendTouch(TouchPhase::Moved, r.samples[5]);
    EXPECT_EQ(wiggle->gestureState(), 2);
    EXPECT_EQ(wiggle->distanceMoved(), 5);
    window->sendTouch(TouchPhase::Moved, r.samples[5]);  // standing still stays in the leg
    EXPECT_EQ(wiggle->gestureState(), 2);
    EXPECT_EQ(wiggle->state(), GestureState::Possible);
}

TEST_F(Wiggle, SecondFingerAtTheStartAndCancellationFail) {
    start(0);
    auto one = std::make_shared<platform::ui::Touch>(window, panel, Point{10, 10}, 0, 1);
    auto two = std::make_shared<platform::ui::Touch>(window, panel, Point{50, 10}, 0, 1);
    wiggle->touchesBegan({one, two});
    EXPECT_EQ(wiggle->state(), GestureState::Failed);

    wiggle->reset();
    wiggle->touchesBegan({one});
    EXPECT_EQ(wiggle->state(), GestureState::Possible);
    one->update(TouchPhase::Moved, {30, 10}, 0.1);
    wiggle->touchesMoved({one});
    EXPECT_EQ(wiggle->gestureState(), 1);
    wiggle->touchesCancelled({one});
    EXPECT_EQ(wiggle->state(), GestureState::Possible);  // failed, then reset
    EXPECT_EQ(wiggle->gestureState(), 0);
    EXPECT_EQ(wiggle->distanceMoved(), 0);
    EXPECT_EQ(recognized, 0);
}

TEST(WiggleAxis, PositionAndCrossMovement) {
    EXPECT_EQ(HRNWiggleGestureRecognizer::positionFromPointInAxis({3, 7}, 0), 3);
    EXPECT_EQ(HRNWiggleGestureRecognizer::positionFromPointInAxis({3, 7}, 1), 7);
    EXPECT_EQ(HRNWiggleGestureRecognizer::positionFromPointInAxis({3, 7}, -2), 7);
    HRNWiggleGestureRecognizer horizontal(0);
    EXPECT_FALSE(horizontal.isMovementInOppositeAxisWithCurrentPointPreviousPoint({0, 5}, {90, 0}));
    EXPECT_TRUE(horizontal.isMovementInOppositeAxisWithCurrentPointPreviousPoint({0, 0}, {0, 5.5}));
}

}  // namespace
