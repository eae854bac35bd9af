#include "platform/ui/Control.h"

#include <algorithm>

#include "platform/foundation/Log.h"

namespace platform::ui {

void Control::setEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    if (!enabled) highlighted_ = false;
    stateDidChange();
}

void Control::setHighlighted(bool highlighted) {
    if (highlighted_ == highlighted) return;
    highlighted_ = highlighted;
    stateDidChange();
}

void Control::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    stateDidChange();
}

ControlState Control::state() const {
    ControlState s = ControlState::Normal;
    if (highlighted_) s = s | ControlState::Highlighted;
    if (!enabled_) s = s | ControlState::Disabled;
    if (selected_) s = s | ControlState::Selected;
    return s;
}

int Control::addTarget(Handler handler, ControlEvent events) {
    int id = nextId_++;
    entries_.push_back({id, events, std::move(handler), {}});
    return id;
}

void Control::removeTarget(int id) {
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

void Control::addAction(const std::string& action, ControlEvent events) {
    entries_.push_back({nextId_++, events, nullptr, action});
}

std::vector<std::string> Control::actionsForEvent(ControlEvent event) const {
    std::vector<std::string> names;
    for (const auto& e : entries_) {
        if (!e.handler && any(e.events & event)) names.push_back(e.action);
    }
    return names;
}

void Control::sendActionsForEvents(ControlEvent events) {
    assertMainThread("Control::sendActionsForEvents");
    auto self = shared_from_this();  // a handler may remove the control from its superview
    for (int bit = 0; bit < 32; ++bit) {
        auto event = static_cast<ControlEvent>(1u << bit);
        if (!any(events & event)) continue;
        auto entries = entries_;
        for (const auto& e : entries) {
            if (!any(e.events & event)) continue;
            if (e.handler) {
                e.handler(*this, event);
            } else if (sink_) {
                sink_(e.action, *this);
            } else {
                log("Control: no receiver for the action " + e.action);
            }
        }
    }
}

void Control::touchesBegan(const Touches& touches) {
    if (!enabled_ || touches.empty()) return;
    tracking_ = true;
    touchInside_ = true;
    setHighlighted(true);
    sendActionsForEvents(ControlEvent::TouchDown);
}

void Control::touchesMoved(const Touches& touches) {
    if (!tracking_ || touches.empty()) return;
    touchInside_ = pointInside(touches.front()->locationInView(this));
    setHighlighted(touchInside_);
    sendActionsForEvents(touchInside_ ? ControlEvent::TouchDragInside
                                      : ControlEvent::TouchDragOutside);
}

void Control::touchesEnded(const Touches& touches) {
    if (!tracking_ || touches.empty()) return;
    touchInside_ = pointInside(touches.front()->locationInView(this));
    tracking_ = false;
    setHighlighted(false);
    sendActionsForEvents(touchInside_ ? ControlEvent::TouchUpInside : ControlEvent::TouchUpOutside);
}

void Control::touchesCancelled(const Touches&) {
    if (!tracking_) return;
    tracking_ = false;
    touchInside_ = false;
    setHighlighted(false);
    sendActionsForEvents(ControlEvent::TouchCancel);
}

}  // namespace platform::ui
