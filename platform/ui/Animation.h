#pragma once
// The animation engine: how a property of a view moves over time on the platform clock. An
// animation is a record added to a view under a key (View::addAnimation, which keeps a copy);
// code reads the records back, and drawing reads each animated property's value at the Clock's
// time (the presentation value), so a snapshot taken mid-animation shows the animation's state.
// Model values (frame(), alpha(), transform()) never change by themselves.
//
// Kinds:
//  - BasicAnimation: one key path from fromValue to toValue (a missing end is the model value).
//  - KeyframeAnimation: one key path through values at keyTimes (fractions 0..1 of a pass,
//    evenly spaced when empty), each segment eased by its own timing function when given.
//  - Transition: the view's whole look changes from what it showed when the transition was
//    added to what it shows now: fade, push, move-in or reveal, from a side.
// Key paths drawn: "opacity"; "position" (the centre, in the superview), "position.x",
// "position.y"; "bounds", "bounds.size"; "transform" (a Transform3D about the centre), and on top
// of it "transform.scale", "transform.scale.x", "transform.scale.y", "transform.rotation" (about
// z, like "transform.rotation.z"), "transform.rotation.x", "transform.rotation.y",
// "transform.translation.x", "transform.translation.y". Other key paths are kept as records.
//
// Timing: one pass runs in `duration` seconds, eased by timingFunction (linear when unset); with
// autoreverses it runs back in another `duration`. The animation makes repeatCount such cycles
// (one when 0; it may be infinite, and a fraction makes part of a last cycle), from beginTime
// (the Clock time when added, unless set). While running, the animated value replaces the model
// value; of two animations on one key path the one added later wins. After the end, a record
// with fillMode Forwards (or Both) and removedOnCompletion false holds its end value (fromValue
// again when it autoreverses); otherwise the model value shows again. Before a set beginTime,
// fillMode Backwards (or Both) shows the start value.
//
// Delegates: animationDidStart once the animation is added, and animationDidStopFinished exactly
// once: with true when its active time ends (at that Clock time, also when it is kept by fill),
// with false when it is removed, replaced under its key or cut short by removeAllAnimations
// before that. Both come on the main queue, never inside the call that caused them; stops come
// in the order they happened. An animation repeating forever only stops by removal.

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/render/Geometry.h"
#include "platform/render/Transform3D.h"

namespace platform::ui {

using render::Point;
using render::Rect;
using render::Size;
using render::Transform3D;

// A value of an animated property: a number, a point, a size, a rectangle or a transform.
class AnimationValue {
  public:
    AnimationValue(double number) : v_(number) {}
    AnimationValue(Point point) : v_(point) {}
    AnimationValue(Size size) : v_(size) {}
    AnimationValue(Rect rect) : v_(rect) {}
    AnimationValue(const Transform3D& transform) : v_(transform) {}

    bool isNumber() const { return std::holds_alternative<double>(v_); }
    // The number (0 for the other kinds), so number key paths read as plain doubles.
    operator double() const { return number(); }
    double number() const;
    Point point() const;  // a number n reads as (n, n)
    Size size() const;
    Rect rect() const;
    Transform3D transform() const;  // a number n reads as a uniform scale by n

    // The value a fraction f of the way from a to b (b's kind wins when the kinds differ).
    static AnimationValue interpolate(const AnimationValue& a, const AnimationValue& b, double f);
    bool equals(const AnimationValue& other) const { return v_ == other.v_; }

  private:
    std::variant<double, Point, Size, Rect, Transform3D> v_;
};

// An easing curve from 0..1 to 0..1: a cubic Bezier from (0, 0) to (1, 1).
class TimingFunction {
  public:
    enum class Name { Linear, EaseIn, EaseOut, EaseInEaseOut, Default };
    static TimingFunction named(Name name);
    static TimingFunction controlPoints(double x1, double y1, double x2, double y2);
    double apply(double x) const;
    friend bool operator==(const TimingFunction&, const TimingFunction&) = default;

  private:
    double x1_ = 0, y1_ = 0, x2_ = 1, y2_ = 1;
};

enum class FillMode { Removed, Forwards, Backwards, Both };

class Animation;

// Told when an animation starts and stops; every operation is optional.
class AnimationDelegate {
  public:
    virtual ~AnimationDelegate() = default;
    virtual void animationDidStart(Animation& /*animation*/) {}
    virtual void animationDidStopFinished(Animation& /*animation*/, bool /*finished*/) {}
};

class Animation {
  public:
    virtual ~Animation() = default;
    virtual std::shared_ptr<Animation> copy() const = 0;

    double duration = 0.25;
    // Clock::now() seconds; 0 means "when added" (View::addAnimation sets it then).
    double beginTime = 0;
    double repeatCount = 0;
    bool autoreverses = false;
    FillMode fillMode = FillMode::Removed;
    bool removedOnCompletion = true;
    std::optional<TimingFunction> timingFunction;
    // Kept strongly, as the record keeps it, until the animation stopped.
    std::shared_ptr<AnimationDelegate> delegate;

    // Seconds from beginTime to the end of the last cycle (infinite when repeating forever).
    double activeDuration() const;
    bool isFinishedAt(double now) const;
    // How far through a pass the animation is at `now` (0..1, eased), or nullopt when it has
    // no effect then.
    std::optional<double> progressAt(double now) const;
};

class PropertyAnimation : public Animation {
  public:
    std::string keyPath;
    // The value at `now`, or nullopt when the animation does not affect the property then.
    // `model` stands in for missing values.
    virtual std::optional<AnimationValue> valueAt(double now,
                                                  const AnimationValue& model) const = 0;
};

class BasicAnimation : public PropertyAnimation {
  public:
    std::optional<AnimationValue> fromValue;
    std::optional<AnimationValue> toValue;

    static BasicAnimation withKeyPath(std::string keyPath) {
        BasicAnimation a;
        a.keyPath = std::move(keyPath);
        return a;
    }
    std::shared_ptr<Animation> copy() const override {
        return std::make_shared<BasicAnimation>(*this);
    }
    std::optional<AnimationValue> valueAt(double now, const AnimationValue& model) const override;
};

class KeyframeAnimation : public PropertyAnimation {
  public:
    std::vector<AnimationValue> values;
    std::vector<double> keyTimes;
    // One per segment (values.size() - 1); missing ones are linear.
    std::vector<TimingFunction> timingFunctions;

    static KeyframeAnimation withKeyPath(std::string keyPath) {
        KeyframeAnimation a;
        a.keyPath = std::move(keyPath);
        return a;
    }
    std::shared_ptr<Animation> copy() const override {
        return std::make_shared<KeyframeAnimation>(*this);
    }
    std::optional<AnimationValue> valueAt(double now, const AnimationValue& model) const override;
};

inline constexpr const char* kTransitionFade = "fade";
inline constexpr const char* kTransitionMoveIn = "moveIn";
inline constexpr const char* kTransitionPush = "push";
inline constexpr const char* kTransitionReveal = "reveal";
inline constexpr const char* kTransitionFromRight = "fromRight";
inline constexpr const char* kTransitionFromLeft = "fromLeft";
inline constexpr const char* kTransitionFromTop = "fromTop";
inline constexpr const char* kTransitionFromBottom = "fromBottom";

// The new look comes in over (moveIn), pushes out (push) or is uncovered by (reveal) the old,
// moving from the named side (a missing subtype is fromLeft); fade blends the two. Drawn within
// the view's frame.
class Transition : public Animation {
  public:
    std::string type = kTransitionFade;
    std::string subtype;

    std::shared_ptr<Animation> copy() const override { return std::make_shared<Transition>(*this); }
};

}  // namespace platform::ui
