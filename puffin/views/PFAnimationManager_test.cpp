#include "puffin/views/PFAnimationManager.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/runtime/Runtime.h"
#include "puffin/core/PFPlatformFrameworks.h"

namespace {

using platform::ui::Animation;
using platform::ui::BasicAnimation;
using platform::ui::KeyframeAnimation;
using platform::ui::Point;
using platform::ui::Rect;

class PFAnimationManagerTest : public ::testing::Test {
  protected:
    void SetUp() override { PFRegisterClasses(); }
    std::shared_ptr<platform::ui::View> view =
        std::make_shared<platform::ui::View>(Rect{0, 0, 320, 480});
};

TEST_F(PFAnimationManagerTest, EachTypeBuildsItsEntranceAndExit) {
    struct Case {
        int type;
        const char* keyPath;
        bool keyframes;   // in
        double duration;  // in, for d = 0.3
    };
    const double d = 0.3;
    const Case cases[] = {
        {1, "transform", false, d},
        {2, "transform.scale", true, d},
        {0, "transform.scale", true, d},
        {42, "transform.scale", true, d},
        {3, "transform", true, 1.5 * d},
        {4, "position", false, d},
        {5, "position", false, d},
        {6, "opacity", false, d},
        {7, "opacity", false, double(0.001f)},
        {8, "position", false, d},
        {9, "position", false, d},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        auto in = PFAnimationManager::transitionInAnimation(c.type, view.get(), d);
        auto out = PFAnimationManager::transitionOutAnimation(c.type, view.get(), d);
        ASSERT_TRUE(in && out);
        auto inProperty = std::dynamic_pointer_cast<platform::ui::PropertyAnimation>(in);
        auto outProperty = std::dynamic_pointer_cast<platform::ui::PropertyAnimation>(out);
        ASSERT_TRUE(inProperty && outProperty);
        EXPECT_EQ(inProperty->keyPath, c.keyPath);
        EXPECT_EQ(outProperty->keyPath, c.keyPath);
        EXPECT_EQ(std::dynamic_pointer_cast<KeyframeAnimation>(in) != nullptr, c.keyframes);
        EXPECT_DOUBLE_EQ(in->duration, c.duration);
        EXPECT_DOUBLE_EQ(out->duration, c.duration);
        // Entrances go when done; exits stay at their end until the view goes.
        EXPECT_TRUE(in->removedOnCompletion);
        EXPECT_FALSE(out->removedOnCompletion);
        EXPECT_EQ(in->fillMode, platform::ui::FillMode::Forwards);
        EXPECT_EQ(out->fillMode, platform::ui::FillMode::Forwards);
    }
    // Type 2's exit shrinks to nothing.
    auto shrink = std::dynamic_pointer_cast<BasicAnimation>(
        PFAnimationManager::transitionOutAnimation(2, view.get(), d));
    ASSERT_TRUE(shrink);
    EXPECT_EQ(shrink->fromValue->number(), 1.0);
    EXPECT_EQ(shrink->toValue->number(), 0.0);
}

TEST_F(PFAnimationManagerTest, SlidesStartAWholeSideAwayAndComeToTheCentre) {
    auto top = std::dynamic_pointer_cast<BasicAnimation>(
        PFAnimationManager::transitionInAnimation(4, view.get(), 0.2));
    ASSERT_TRUE(top && top->fromValue && top->toValue);
    EXPECT_EQ(top->fromValue->point(), (Point{160, 240 - 480}));
    EXPECT_EQ(top->toValue->point(), (Point{160, 240}));
    auto right = std::dynamic_pointer_cast<BasicAnimation>(
        PFAnimationManager::transitionOutAnimation(9, view.get(), 0.2));
    ASSERT_TRUE(right && right->fromValue && right->toValue);
    EXPECT_EQ(right->fromValue->point(), (Point{160, 240}));
    EXPECT_EQ(right->toValue->point(), (Point{160 + 320, 240}));
}

TEST_F(PFAnimationManagerTest, ANilLayerStillGivesTheTurnsFromAZeroTransformInPerspective) {
    auto turn = std::dynamic_pointer_cast<BasicAnimation>(
        PFAnimationManager::transitionInAnimation(1, nullptr, 0.2));
    ASSERT_TRUE(turn && turn->toValue);
    const auto t = turn->toValue->transform();
    EXPECT_DOUBLE_EQ(t.m34, -1.0 / 1500);
    EXPECT_EQ(t.m11, 0);
    EXPECT_EQ(t.m44, 0);
    EXPECT_TRUE(PFAnimationManager::transitionOutAnimation(3, nullptr, 0.2));
    // Without a layer nothing is added and the block is not called.
    bool called = false;
    EXPECT_FALSE(
        PFAnimationManager::transitionInWithAnimationTypeLayerDurationAnimationConfigurationBlock(
            1, nullptr, 0.2, [&](Animation&) { called = true; }));
    EXPECT_FALSE(called);
}

TEST_F(PFAnimationManagerTest, TheBlockConfiguresTheAnimationBeforeItIsAddedAndItsDelegateRuns) {
    bool stopped = false;
    auto noCallback = PFAnimationManager::animationDidStopDelegateWithCallback(nullptr);
    ASSERT_TRUE(
        PFAnimationManager::transitionInWithAnimationTypeLayerDurationAnimationConfigurationBlock(
            6, view, 0.2, [&](Animation& animation) {
                animation.duration = 0.5;
                animation.delegate = PFAnimationManager::animationDidStopDelegateWithCallback(
                    [&](Animation&, bool) { stopped = true; });
            }));
    auto added = view->animationForKey<Animation>("transitionIn");
    ASSERT_TRUE(added);
    EXPECT_DOUBLE_EQ(added->duration, 0.5);
    ASSERT_TRUE(added->delegate);
    auto copy = added->copy();
    added->delegate->animationDidStopFinished(*copy, false);
    EXPECT_TRUE(stopped);                               // finished or not
    noCallback->animationDidStopFinished(*copy, true);  // does nothing

    EXPECT_TRUE(PFAnimationManager::transitionOutWithAnimationTypeLayer(6, view));
    EXPECT_TRUE(view->animationForKey<Animation>("transitionOut"));
}

TEST_F(PFAnimationManagerTest, LayerTransitionsByType) {
    using namespace platform::ui;
    struct Case {
        int type;
        const char* kind;
        const char* side;
    };
    const Case cases[] = {
        {4, kTransitionMoveIn, kTransitionFromTop},
        {5, kTransitionMoveIn, kTransitionFromBottom},
        {6, kTransitionFade, ""},
        {8, kTransitionMoveIn, kTransitionFromLeft},
        {9, kTransitionMoveIn, kTransitionFromRight},
        {10, kTransitionPush, kTransitionFromTop},
        {13, kTransitionPush, kTransitionFromRight},
        {14, kTransitionReveal, kTransitionFromTop},
        {17, kTransitionReveal, kTransitionFromRight},
        {99, kTransitionMoveIn, kTransitionFromLeft},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        auto t =
            std::dynamic_pointer_cast<Transition>(PFAnimationManager::layerTransition(c.type, 0.3));
        ASSERT_TRUE(t);
        EXPECT_EQ(t->type, c.kind);
        EXPECT_EQ(t->subtype, c.side);
        EXPECT_DOUBLE_EQ(t->duration, 0.3);
    }
    auto instant =
        std::dynamic_pointer_cast<Transition>(PFAnimationManager::layerTransition(7, 0.3));
    ASSERT_TRUE(instant);
    EXPECT_EQ(instant->type, kTransitionFade);
    EXPECT_EQ(instant->subtype, kTransitionFromBottom);
    EXPECT_DOUBLE_EQ(instant->duration, double(0.001f));
    EXPECT_TRUE(PFAnimationManager::transitionWithAnimationTypeLayer(10, view));
    EXPECT_TRUE(view->animationForKey<Animation>("transition"));
}

TEST_F(PFAnimationManagerTest, WithoutTheAnimationFrameworkNothingIsMade) {
    platform::runtime::markFrameworkAbsent("QuartzCore");
    EXPECT_FALSE(PFAnimationManager::transitionInAnimation(2, view.get(), 0.2));
    EXPECT_FALSE(PFAnimationManager::layerTransition(6, 0.2));
    EXPECT_FALSE(PFAnimationManager::transitionInWithAnimationTypeLayer(2, view));
    EXPECT_TRUE(view->animationKeys().empty());
}

}  // namespace
