#include "platform/ui/Animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/PixelTestSupport.h"
#include "platform/ui/View.h"

namespace platform::ui {
namespace {

constexpr double kForever = std::numeric_limits<double>::infinity();

TEST(BlockAnimation, ModelAtOnceDrawnOverTimeCompletionAfterTheDuration) {
    Clock::useVirtual();
    auto root = std::make_shared<View>(Rect(0, 0, 200, 100));
    root->setBackgroundColor(Color::white());
    auto v = std::make_shared<View>(Rect(0, 0, 20, 20));
    v->setBackgroundColor({1, 0, 0, 1});
    root->addSubview(v);

    bool done = false;
    View::animate(
        0.3,
        [&] {
            v->setFrame(Rect(100, 0, 20, 20));
            v->setAlpha(0.2);
        },
        [&](bool finished) {
            EXPECT_TRUE(finished);
            done = true;
        });
    EXPECT_EQ(v->frame(), Rect(100, 0, 20, 20));
    EXPECT_DOUBLE_EQ(v->alpha(), 0.2);
    EXPECT_EQ(v->presentationFrame(), Rect(0, 0, 20, 20));

    Clock::advance(0.15);
    EXPECT_NEAR(v->presentationFrame().minX(), 50, 1e-9);
    EXPECT_NEAR(v->presentationAlpha(), 0.6, 1e-9);
    // What is drawn is where the presentation is.
    render::Bitmap mid = snapshot(*root);
    EXPECT_FALSE(render::testing::colorNear(mid.pixelAt(120, 20), Color::white()));
    EXPECT_TRUE(render::testing::colorNear(mid.pixelAt(10, 20), Color::white()));

    Clock::advance(0.1);
    RunLoop::main().runOnce(0);
    EXPECT_FALSE(done);
    Clock::advance(0.05);
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return done; }, 2.0));
    EXPECT_EQ(v->presentationFrame(), v->frame());
    EXPECT_DOUBLE_EQ(v->presentationAlpha(), 0.2);

    // A change outside an animation is drawn at once.
    v->setFrame(Rect(0, 50, 20, 20));
    EXPECT_EQ(v->presentationFrame(), Rect(0, 50, 20, 20));
}

TEST(BlockAnimation, ZeroDurationStillCompletesOnALaterTurn) {
    Clock::useVirtual();
    auto v = std::make_shared<View>(Rect(0, 0, 10, 10));
    bool done = false;
    View::animate(
        0, [&] { v->setAlpha(0.5); }, [&](bool) { done = true; });
    EXPECT_FALSE(done);
    EXPECT_DOUBLE_EQ(v->presentationAlpha(), 0.5);
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return done; }, 2.0));
}

BasicAnimation blink(double to, double duration, double repeat) {
    auto a = BasicAnimation::withKeyPath("opacity");
    a.fromValue = 1.0;
    a.toValue = to;
    a.duration = duration;
    a.autoreverses = true;
    a.repeatCount = repeat;
    a.fillMode = FillMode::Forwards;
    a.removedOnCompletion = false;
    return a;
}

TEST(OpacityAnimation, ValueOverTime) {
    BasicAnimation once = BasicAnimation::withKeyPath("opacity");
    once.fromValue = 0.2;
    once.toValue = 1.0;
    once.duration = 1.0;
    BasicAnimation half = blink(0, 1, 1.5);
    BasicAnimation oneWayKept = once;
    oneWayKept.fillMode = FillMode::Forwards;
    oneWayKept.removedOnCompletion = false;
    BasicAnimation noFrom = once;
    noFrom.fromValue.reset();

    struct Case {
        const char* name;
        const BasicAnimation& animation;
        double t;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"fade-in start", once, 0, 0.2},
        {"fade-in middle", once, 0.5, 0.6},
        {"fade-in after the end", once, 1.0, std::nullopt},
        {"kept after the end", oneWayKept, 5, 1.0},
        {"from the model", noFrom, 0.5, 0.75},  // model 0.5
        {"blink down", half, 0.5, 0.5},
        {"blink back", half, 1.5, 0.5},
        {"second cycle", half, 2.25, 0.75},
        {"part of a cycle, end kept", half, 9, 0.0},
    };
    for (const auto& c : cases) {
        auto v = c.animation.valueAt(c.t, 0.5);
        ASSERT_EQ(v.has_value(), c.expected.has_value()) << c.name;
        if (v) {
            EXPECT_NEAR(*v, *c.expected, 1e-9) << c.name;
        }
    }
    EXPECT_DOUBLE_EQ(half.activeDuration(), 3);
    EXPECT_TRUE(std::isinf(blink(0.2, 0.3, kForever).activeDuration()));
}

TEST(OpacityAnimation, BlinkRecordIsInspectableDrivesWhatIsDrawnAndIsRemovable) {
    Clock::useVirtual();
    auto v = std::make_shared<View>(Rect(0, 0, 10, 10));
    v->addAnimation(blink(0.4, 0.2, 6), "opacity");

    auto record = v->animationForKey("opacity");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->keyPath, "opacity");
    EXPECT_EQ(record->fromValue, 1.0);
    EXPECT_EQ(record->toValue, 0.4);
    EXPECT_DOUBLE_EQ(record->duration, 0.2);
    EXPECT_TRUE(record->autoreverses);
    EXPECT_DOUBLE_EQ(record->repeatCount, 6);
    EXPECT_EQ(record->beginTime, Clock::now());
    EXPECT_EQ(v->animationKeys(), std::vector<std::string>{"opacity"});

    Clock::advance(0.1);
    EXPECT_NEAR(v->presentationAlpha(), 0.7, 1e-9);
    EXPECT_DOUBLE_EQ(v->alpha(), 1);  // the model is untouched
    Clock::advance(0.1);
    EXPECT_NEAR(v->presentationAlpha(), 0.4, 1e-9);
    Clock::advance(3);  // six cycles of 0.4 s are over: held at the end value, still listed
    EXPECT_NEAR(v->presentationAlpha(), 1.0, 1e-9);
    EXPECT_TRUE(v->animationForKey("opacity"));

    v->setAlpha(0.3);
    v->removeAllAnimations();
    EXPECT_TRUE(v->animationKeys().empty());
    EXPECT_DOUBLE_EQ(v->presentationAlpha(), 0.3);
}

TEST(OpacityAnimation, FinishedRecordsAreDroppedUnlessKept) {
    Clock::useVirtual();
    auto v = std::make_shared<View>(Rect(0, 0, 10, 10));
    auto fade = BasicAnimation::withKeyPath("opacity");
    fade.fromValue = 0.2;
    fade.toValue = 1.0;
    fade.duration = 1.0;
    v->addAnimation(fade, "opacity");
    v->addAnimation(blink(0.2, 0.3, kForever), "mark");
    v->addAnimation(BasicAnimation::withKeyPath("position"), "moving");
    EXPECT_EQ(v->animationKeys(), (std::vector<std::string>{"opacity", "mark", "moving"}));
    Clock::advance(1000);
    EXPECT_EQ(v->animationKeys(), std::vector<std::string>{"mark"});
    EXPECT_FALSE(v->animationForKey("opacity"));

    // Adding under a key in use replaces the animation and starts it again.
    v->addAnimation(blink(0.6, 0.3, kForever), "mark");
    EXPECT_EQ(v->animationForKey("mark")->toValue, 0.6);
    EXPECT_EQ(v->animationForKey("mark")->beginTime, Clock::now());
    v->removeAnimationForKey("mark");
    EXPECT_TRUE(v->animationKeys().empty());
}

}  // namespace
}  // namespace platform::ui
