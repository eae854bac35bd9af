#pragma once
// Controls: views that turn touches into actions (buttons, text fields). A control tracks the
// touch that began on it and sends events to its targets: handlers added in code and actions
// added by name, which reach the control's action sink (installed by the view controller that
// loaded the control from a storyboard).
//
// Contract (main thread only):
//  - A touch-down sends TouchDown and highlights the control; when the touch lifts inside the
//    bounds TouchUpInside is sent, outside TouchUpOutside; a cancelled touch sends TouchCancel.
//    Highlighting follows the touch in and out of the bounds.
//  - A disabled control still takes the touch (the superview does not get it) but sends
//    nothing and does not highlight.
//  - Handlers and named actions run synchronously, in the order they were added, inside the
//    touch or sendActionsForEvents call.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/View.h"

namespace platform::ui {

// Control events, combinable as a mask.
enum class ControlEvent : uint32_t {
    None = 0,
    TouchDown = 1u << 0,
    TouchDragInside = 1u << 2,
    TouchDragOutside = 1u << 3,
    TouchUpInside = 1u << 6,
    TouchUpOutside = 1u << 7,
    TouchCancel = 1u << 8,
    ValueChanged = 1u << 12,
    EditingDidBegin = 1u << 16,
    EditingChanged = 1u << 17,
    EditingDidEnd = 1u << 18,
    EditingDidEndOnExit = 1u << 19,
    AllTouchEvents = 0x00000FFFu,
    AllEditingEvents = 0x000F0000u,
    AllEvents = 0xFFFFFFFFu,
};

constexpr ControlEvent operator|(ControlEvent a, ControlEvent b) {
    return static_cast<ControlEvent>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}
constexpr ControlEvent operator&(ControlEvent a, ControlEvent b) {
    return static_cast<ControlEvent>(static_cast<uint32_t>(a) & static_cast<uint32_t>(b));
}
constexpr bool any(ControlEvent e) {
    return static_cast<uint32_t>(e) != 0;
}

// A control's state, combinable as a mask; Normal is no bit set.
enum class ControlState : uint32_t {
    Normal = 0,
    Highlighted = 1u << 0,
    Disabled = 1u << 1,
    Selected = 1u << 2,
};

constexpr ControlState operator|(ControlState a, ControlState b) {
    return static_cast<ControlState>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}
constexpr ControlState operator&(ControlState a, ControlState b) {
    return static_cast<ControlState>(static_cast<uint32_t>(a) & static_cast<uint32_t>(b));
}
constexpr bool any(ControlState s) {
    return static_cast<uint32_t>(s) != 0;
}

class Control : public View {
  public:
    // `event` is the single event being sent.
    using Handler = std::function<void(Control& sender, ControlEvent event)>;
    // Receives the control's named actions: the action's name (such as "buyGoods:") and the
    // sender.
    using ActionSink = std::function<void(const std::string& action, Control& sender)>;

    using View::View;
    std::string className() const override { return "Control"; }

    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted);
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);
    ControlState state() const;

    // Returns an id for removeTarget.
    int addTarget(Handler handler, ControlEvent events);
    void removeTarget(int id);
    void addAction(const std::string& action, ControlEvent events);
    // The named actions sent for `event`, in the order added.
    std::vector<std::string> actionsForEvent(ControlEvent event) const;
    void setActionSink(ActionSink sink) { sink_ = std::move(sink); }

    // Sends every event in the mask, in bit order, to the handlers and actions that want it.
    void sendActionsForEvents(ControlEvent events);

    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }

    void touchesBegan(const Touches& touches) override;
    void touchesMoved(const Touches& touches) override;
    void touchesEnded(const Touches& touches) override;
    void touchesCancelled(const Touches& touches) override;

  protected:
    // Called after enabled, highlighted or selected changed.
    virtual void stateDidChange() {}

  private:
    struct Entry {
        int id;
        ControlEvent events;
        Handler handler;     // or
        std::string action;  // a named action
    };

    bool enabled_ = true;
    bool highlighted_ = false;
    bool selected_ = false;
    bool tracking_ = false;
    bool touchInside_ = false;
    int nextId_ = 1;
    std::vector<Entry> entries_;
    ActionSink sink_;
};

}  // namespace platform::ui
