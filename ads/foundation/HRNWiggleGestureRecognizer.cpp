#include "ads/foundation/HRNWiggleGestureRecognizer.h"

#include <cmath>

namespace {

using platform::ui::GestureState;

constexpr double kMinimumLegLength = 15.0;
constexpr double kMaximumCrossMovement = 5.0;

}  // namespace

HRNWiggleGestureRecognizer::HRNWiggleGestureRecognizer(int64_t gestureAxis)
    : gestureAxis_(gestureAxis) {}

double HRNWiggleGestureRecognizer::positionFromPointInAxis(platform::ui::Point point,
                                                           int64_t axis) {
    return axis != 0 ? point.y : point.x;
}

bool HRNWiggleGestureRecognizer::isMovementInOppositeAxisWithCurrentPointPreviousPoint(
    platform::ui::Point current,
    platform::ui::Point previous) const {
    const int64_t across = gestureAxis_ != 0 ? 0 : 1;
    return std::fabs(positionFromPointInAxis(current, across) -
                     positionFromPointInAxis(previous, across)) > kMaximumCrossMovement;
}

void HRNWiggleGestureRecognizer::fail() {
    setState(GestureState::Failed);
}

void HRNWiggleGestureRecognizer::touchesBegan(const platform::ui::Touches& touches) {
    GestureRecognizer::touchesBegan(touches);
    if (touches.size() != 1) fail();
}

void HRNWiggleGestureRecognizer::touchesMoved(const platform::ui::Touches& touches) {
    GestureRecognizer::touchesMoved(touches);
    if (state() == GestureState::Failed || touches.empty()) return;
    const auto& touch = touches.front();
    const platform::ui::View* inView = view().get();
    const platform::ui::Point now = touch->locationInView(inView);
    const platform::ui::Point before = touch->previousLocationInView(inView);
    if (isMovementInOppositeAxisWithCurrentPointPreviousPoint(now, before)) {
        fail();
        return;
    }
    const double cur = positionFromPointInAxis(now, gestureAxis_);
    const double prev = positionFromPointInAxis(before, gestureAxis_);
    const double d = std::fabs(cur - prev);

    // A leg goes on while the touch keeps its direction (or stands still); a turn needs the
    // leg behind it to be long enough and starts the next leg with this sample's distance.
    auto turn = [&](int64_t next) {
        if (distanceMoved_ < kMinimumLegLength) {
            fail();
            return;
        }
        distanceMoved_ = d;
        gestureState_ = next;
    };
    switch (gestureState_) {
        case 0:
            if (cur >= prev) {
                distanceMoved_ += d;
                gestureState_ = 1;
            } else {
                fail();
            }
            break;
        case 1:
            if (cur >= prev)
                distanceMoved_ += d;
            else
                turn(2);
            break;
        case 2:
            if (cur <= prev)
                distanceMoved_ += d;
            else
                turn(3);
            break;
        case 3:
            if (cur >= prev)
                distanceMoved_ += d;
            else
                turn(4);
            break;
        case 4:
            if (cur <= prev)
                distanceMoved_ += d;
            else
                fail();
            break;
        default:
            break;
    }
}

void HRNWiggleGestureRecognizer::touchesEnded(const platform::ui::Touches& touches) {
    GestureRecognizer::touchesEnded(touches);
    if (state() == GestureState::Possible && gestureState_ == 4) {
        setState(GestureState::Ended);
    } else {
        fail();
        gestureState_ = 0;
    }
}

void HRNWiggleGestureRecognizer::touchesCancelled(const platform::ui::Touches& touches) {
    GestureRecognizer::touchesCancelled(touches);
    fail();
    reset();
}

void HRNWiggleGestureRecognizer::reset() {
    GestureRecognizer::reset();
    gestureState_ = 0;
    distanceMoved_ = 0;
}
