#pragma once
// HRNWiggleGestureRecognizer: recognizes a one-finger wiggle along one axis (forward, back,
// forward, back), each of the first three legs at least 15 points long, with no more than 5
// points of movement across the axis between two touch samples. Ad views attach it and act
// when it is recognized (a discrete gesture: Possible -> Ended, or Failed).
//
// Threading: main thread only, like every gesture recognizer; the window delivers the touches.

#include <cstdint>
#include <string>

#include "platform/ui/GestureRecognizer.h"

class HRNWiggleGestureRecognizer : public platform::ui::GestureRecognizer {
  public:
    // 0: horizontal (x positions); any other value: vertical (y positions).
    explicit HRNWiggleGestureRecognizer(int64_t gestureAxis);
    std::string className() const override { return "HRNWiggleGestureRecognizer"; }

    // The position of the point along the axis: y for a non-zero axis, else x.
    static double positionFromPointInAxis(platform::ui::Point point, int64_t axis);
    // Whether the positions across the axis differ by more than 5 points.
    bool isMovementInOppositeAxisWithCurrentPointPreviousPoint(platform::ui::Point current,
                                                               platform::ui::Point previous) const;

    void touchesBegan(const platform::ui::Touches& touches) override;
    void touchesMoved(const platform::ui::Touches& touches) override;
    void touchesEnded(const platform::ui::Touches& touches) override;
    void touchesCancelled(const platform::ui::Touches& touches) override;
    void reset() override;

    double distanceMoved() const { return distanceMoved_; }
    // Progress: 0 before the first leg, 1 to 4 in the legs.
    int64_t gestureState() const { return gestureState_; }
    int64_t gestureAxis() const { return gestureAxis_; }

  private:
    void fail();

    double distanceMoved_ = 0;
    int64_t gestureState_ = 0;
    int64_t gestureAxis_ = 0;
};
