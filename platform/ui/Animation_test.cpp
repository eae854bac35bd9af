#include "platform/ui/Animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

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

namespace platform::ui {
namespace {

using render::testing::colorNear;

const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};
const Color kGreen{0, 1, 0, 1};

// Records the stops it hears.
class StopRecorder : public AnimationDelegate {
  public:
    void animationDidStart(Animation&) override { ++starts; }
    void animationDidStopFinished(Animation&, bool finished) override { stops.push_back(finished); }
    int starts = 0;
    std::vector<bool> stops;
};

Transform3D perspective() {
    Transform3D t;
    t.m34 = -1.0 / 1500;
    return t;
}

TEST(PropertyAnimation, PresentationValuesAtFixedTimes) {
    Clock::useVirtual();
    auto v = std::make_shared<View>(Rect(0, 0, 320, 568));
    const double d = 0.2555;

    // A bounce: keyframes of the scale with their key times.
    auto bounce = KeyframeAnimation::withKeyPath("transform.scale");
    bounce.values = {0.6f, 1.1f, 0.9f, 1.0};
    bounce.keyTimes = {0, 0.6f, 0.8f, 1.0};
    bounce.duration = d;
    bounce.fillMode = FillMode::Forwards;
    v->addAnimation(bounce, "transform.scale");
    // A drop from above the screen to the centre.
    auto drop = BasicAnimation::withKeyPath("position");
    drop.fromValue = Point{160, 284 - 568};
    drop.toValue = Point{160, 284};
    drop.duration = d;
    v->addAnimation(drop, "position");
    // An eased fade.
    auto fade = BasicAnimation::withKeyPath("opacity");
    fade.fromValue = 0.0;
    fade.toValue = 1.0;
    fade.duration = 1;
    fade.timingFunction = TimingFunction::named(TimingFunction::Name::EaseIn);
    v->addAnimation(fade, "opacity");

    EXPECT_NEAR(v->presentationTransform().m11, 0.6, 1e-6);
    EXPECT_EQ(v->presentationCenter(), (Point{160, -284}));
    EXPECT_EQ(v->presentationAlpha(), 0);
    Clock::advance(0.3 * d);  // half way to the second key
    EXPECT_NEAR(v->presentationTransform().m11, 0.85, 1e-6);
    EXPECT_NEAR(v->presentationTransform().m22, 0.85, 1e-6);
    EXPECT_NEAR(v->presentationCenter().y, 284 - 568 * 0.7, 1e-6);
    Clock::advance(0.4 * d);  // half way from 1.1 to 0.9
    EXPECT_NEAR(v->presentationTransform().m11, 1.0, 1e-6);
    Clock::advance(0.3 * d);
    EXPECT_EQ(v->presentationCenter(), (Point{160, 284})) << "removed: the model again";
    EXPECT_EQ(v->presentationTransform(), Transform3D()) << "a kept scale of 1";
    Clock::advance(0.5 - d);
    EXPECT_NEAR(v->presentationAlpha(), 0.3154, 0.002) << "eased in: slow at first";
    Clock::advance(0.5);
    EXPECT_EQ(v->presentationAlpha(), 1);
    EXPECT_EQ(v->alpha(), 1);

    // A turn in from the left with perspective, and the way back to the model.
    auto turn = BasicAnimation::withKeyPath("transform");
    turn.fromValue = render::transform3DTranslate(
        render::transform3DRotate(perspective(), -M_PI / 3, 0, 1, 0), -500, 0, 0);
    turn.toValue = perspective();
    turn.duration = d;
    v->addAnimation(turn, "transform");
    EXPECT_EQ(v->presentationTransform(), turn.fromValue->transform());
    Clock::advance(d / 2);
    Transform3D mid = v->presentationTransform();
    EXPECT_FALSE(mid.isAffine());
    EXPECT_LT(mid.m41, 0) << "still left of its place";
    Clock::advance(d / 2);
    EXPECT_EQ(v->presentationTransform(), Transform3D()) << "removed on completion";

    // Before a later begin time, backwards fill shows the start.
    auto late = BasicAnimation::withKeyPath("position.x");
    late.fromValue = 0.0;
    late.toValue = 100.0;
    late.beginTime = Clock::now() + 1;
    late.duration = 1;
    late.fillMode = FillMode::Backwards;
    v->addAnimation(late, "late");
    EXPECT_EQ(v->presentationCenter().x, 0);
    Clock::advance(1.5);
    EXPECT_NEAR(v->presentationCenter().x, 50, 1e-6);
}

TEST(PropertyAnimation, DrawingShowsTheStateMidAnimation) {
    Clock::useVirtual();
    auto root = std::make_shared<View>(Rect(0, 0, 300, 300));
    root->setBackgroundColor(Color::white());
    auto card = std::make_shared<View>(Rect(100, 100, 100, 100));
    card->setBackgroundColor(kRed);
    root->addSubview(card);
    auto at = [&](double x, double y) {
        render::Bitmap b = snapshot(*root);
        return b.pixelAt(int(x * b.scale()), int(y * b.scale()));
    };

    auto shrink = BasicAnimation::withKeyPath("transform.scale");
    shrink.fromValue = 1.0;
    shrink.toValue = 0.0;
    shrink.duration = 1;
    card->addAnimation(shrink, "shrink");
    Clock::advance(0.5);  // half size about the centre: 125..175
    EXPECT_TRUE(colorNear(at(110, 150), Color::white()));
    EXPECT_TRUE(colorNear(at(130, 150), kRed));
    card->removeAnimationForKey("shrink");

    // Turned about the y axis with perspective: the near side (right) is taller than the far.
    card->setTransform(render::transform3DRotate(perspective(), -M_PI / 3, 0, 1, 0));
    render::Bitmap turned = snapshot(*root);
    auto redRows = [&](double x) {
        int n = 0;
        for (int y = 0; y < turned.pixelHeight(); ++y) {
            if (colorNear(turned.pixelAt(int(x * turned.scale()), y), kRed, 0.2)) ++n;
        }
        return n;
    };
    EXPECT_EQ(redRows(110), 0) << "the turned card is narrower";
    EXPECT_GT(redRows(170), redRows(130));
    EXPECT_GT(redRows(130), 0);

    // A block animation of the transform moves what is drawn, not the model.
    card->setTransform(Transform3D());
    View::animate(1, [&] { card->setTransform(Transform3D::makeTranslation(100, 0, 0)); });
    Clock::advance(0.5);
    EXPECT_NEAR(card->presentationTransform().m41, 50, 1e-6);
    EXPECT_EQ(card->transform().m41, 100);
    EXPECT_TRUE(colorNear(at(240, 150), kRed));
    EXPECT_TRUE(colorNear(at(120, 150), Color::white()));
}

TEST(Transition, FramesMoveOrBlendTheOldLookIntoTheNew) {
    Clock::useVirtual();
    struct Case {
        const char* type;
        const char* subtype;
        // Colours at x = 25 and x = 75 of a 100-point view, half way.
        Color left, right;
    };
    const Case cases[] = {
        // The old look: blue on the left half, green on the right; the new one red.
        {kTransitionMoveIn, kTransitionFromLeft, kRed, kGreen},
        {kTransitionPush, kTransitionFromLeft, kRed, kBlue},
        {kTransitionMoveIn, kTransitionFromRight, kBlue, kRed},
        {kTransitionReveal, kTransitionFromLeft, kRed, kBlue},
        {kTransitionFade, "", Color{0.5, 0, 0.5, 1}, Color{0.5, 0.5, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.subtype);
        auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
        root->setBackgroundColor(Color::white());
        auto panel = std::make_shared<View>(Rect(0, 0, 100, 100));
        panel->setBackgroundColor(kGreen);
        auto half = std::make_shared<View>(Rect(0, 0, 50, 100));
        half->setBackgroundColor(kBlue);
        panel->addSubview(half);
        root->addSubview(panel);

        Transition t;
        t.type = c.type;
        t.subtype = c.subtype;
        t.duration = 1;
        panel->addAnimation(t, "transition");
        half->removeFromSuperview();
        panel->setBackgroundColor(kRed);
        EXPECT_TRUE(panel->isInTransition());
        Clock::advance(0.5);
        render::Bitmap b = snapshot(*root);
        EXPECT_TRUE(colorNear(b.pixelAt(int(25 * b.scale()), 50 * int(b.scale())), c.left, 0.03));
        EXPECT_TRUE(colorNear(b.pixelAt(int(75 * b.scale()), 50 * int(b.scale())), c.right, 0.03));
        Clock::advance(0.5);
        EXPECT_FALSE(panel->isInTransition());
        render::Bitmap after = snapshot(*root);
        EXPECT_TRUE(colorNear(after.pixelAt(int(25 * after.scale()), 50), kRed));
    }
}

TEST(AnimationDelegate, StopIsToldOnceWithWhetherItFinished) {
    Clock::useVirtual();
    auto v = std::make_shared<View>(Rect(0, 0, 10, 10));
    auto fade = BasicAnimation::withKeyPath("opacity");
    fade.fromValue = 0.0;
    fade.duration = 1;

    struct Case {
        const char* name;
        std::function<void(View&, BasicAnimation&)> act;
        std::vector<bool> stops;
    };
    const Case cases[] = {
        {"runs to its end", [](View&, BasicAnimation&) { Clock::advance(1); }, {true}},
        {"kept by fill, then removed",
         [](View& view, BasicAnimation&) {
             Clock::advance(2);
             RunLoop::main().runUntil([] { return false; }, 0.05);
             view.removeAllAnimations();
         },
         {true}},
        {"removed half way",
         [](View& view, BasicAnimation&) {
             Clock::advance(0.5);
             view.removeAnimationForKey("fade");
         },
         {false}},
        {"replaced under its key",
         [](View& view, BasicAnimation& a) {
             a.delegate = nullptr;
             view.addAnimation(a, "fade");
         },
         {false}},
        {"removed after its end, before the timer ran",
         [](View& view, BasicAnimation&) {
             Clock::advance(1);
             view.removeAnimationForKey("fade");
         },
         {true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<StopRecorder>();
        BasicAnimation a = fade;
        a.delegate = recorder;
        if (std::string(c.name).find("fill") != std::string::npos) {
            a.fillMode = FillMode::Forwards;
            a.removedOnCompletion = false;
        }
        v->addAnimation(a, "fade");
        EXPECT_TRUE(recorder->stops.empty()) << "never inside the call";
        c.act(*v, a);
        RunLoop::main().runUntil([&] { return !recorder->stops.empty(); }, 2);
        Clock::advance(5);
        RunLoop::main().runUntil([] { return false; }, 0.05);
        EXPECT_EQ(recorder->stops, c.stops);
        EXPECT_EQ(recorder->starts, 1);
        v->removeAllAnimations();
    }

    // Forever blinking stops only by removal, unfinished.
    auto recorder = std::make_shared<StopRecorder>();
    BasicAnimation forever = blink(0.2, 0.3, kForever);
    forever.delegate = recorder;
    v->addAnimation(forever, "blink");
    Clock::advance(100);
    RunLoop::main().runUntil([] { return false; }, 0.05);
    EXPECT_TRUE(recorder->stops.empty());
    v->removeAllAnimations();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return !recorder->stops.empty(); }, 2));
    EXPECT_EQ(recorder->stops, std::vector<bool>{false});
}

TEST(BlockAnimation, RemovingAllAnimationsCompletesUnfinished) {
    Clock::useVirtual();
    auto v = std::make_shared<View>(Rect(0, 0, 10, 10));
    std::vector<bool> done;
    View::animate(
        1,
        [&] {
            v->setCenter({100, 100});
        },
        [&](bool finished) { done.push_back(finished); });
    Clock::advance(0.5);
    EXPECT_NEAR(v->presentationCenter().x, 52.5, 1e-9);
    v->removeAllAnimations();
    EXPECT_EQ(v->presentationCenter(), (Point{100, 100})) << "at the model at once";
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return !done.empty(); }, 2));
    Clock::advance(1);
    RunLoop::main().runUntil([] { return false; }, 0.05);
    EXPECT_EQ(done, std::vector<bool>{false});
}

}  // namespace
}  // namespace platform::ui
