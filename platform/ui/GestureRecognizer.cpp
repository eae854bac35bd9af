#include "platform/ui/GestureRecognizer.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

GestureRecognizer::GestureRecognizer(Action action) {
    addTarget(std::move(action));
}

void GestureRecognizer::addTarget(Action action) {
    if (action) actions_.push_back(std::move(action));
}

Point GestureRecognizer::locationInView(const View* view) const {
    if (!lastTouch_) return {0, 0};
    return lastTouch_->locationInView(view);
}

size_t GestureRecognizer::numberOfTouches() const {
    return static_cast<size_t>(std::count_if(touches_.begin(), touches_.end(), [](const auto& t) {
        return t->phase() != TouchPhase::Ended && t->phase() != TouchPhase::Cancelled;
    }));
}

void GestureRecognizer::touchesBegan(const Touches&) {}
void GestureRecognizer::touchesMoved(const Touches&) {}
void GestureRecognizer::touchesEnded(const Touches&) {}
void GestureRecognizer::touchesCancelled(const Touches&) {}

void GestureRecognizer::reset() {
    state_ = GestureState::Possible;
    touches_.clear();
}

void GestureRecognizer::setState(GestureState state) {
    assertMainThread("GestureRecognizer::setState");
    state_ = state;
    if (state == GestureState::Possible || state == GestureState::Failed) return;
    auto self = shared_from_this();  // an action may drop the last reference elsewhere
    auto actions = actions_;
    for (auto& action : actions)
        action(*this);
}

void GestureRecognizer::remember(const Touches& touches) {
    for (const auto& t : touches) {
        if (std::find(touches_.begin(), touches_.end(), t) == touches_.end()) touches_.push_back(t);
        lastTouch_ = t;
    }
}

void GestureRecognizer::resetAfterTouch() {
    reset();
    state_ = GestureState::Possible;
    touches_.clear();
}

// ---- TapGestureRecognizer ----

namespace {

constexpr double kTapSlop = 10;

}  // namespace

void TapGestureRecognizer::touchesBegan(const Touches& touches) {
    if (touches.empty()) return;
    start_ = touches.front()->locationInView(nullptr);
}

void TapGestureRecognizer::touchesMoved(const Touches& touches) {
    if (touches.empty() || state() != GestureState::Possible) return;
    Point p = touches.front()->locationInView(nullptr);
    if (std::hypot(p.x - start_.x, p.y - start_.y) > kTapSlop) setState(GestureState::Failed);
}

void TapGestureRecognizer::touchesEnded(const Touches& touches) {
    if (touches.empty() || state() != GestureState::Possible) return;
    Point p = touches.front()->locationInView(nullptr);
    if (std::hypot(p.x - start_.x, p.y - start_.y) > kTapSlop) {
        setState(GestureState::Failed);
    } else if (touches.front()->tapCount() >= tapsRequired_) {
        setState(GestureState::Ended);
    }
}

void TapGestureRecognizer::touchesCancelled(const Touches&) {
    if (state() == GestureState::Possible) setState(GestureState::Failed);
}

void TapGestureRecognizer::reset() {
    GestureRecognizer::reset();
    start_ = {};
}

}  // namespace platform::ui
