#pragma once
// Gesture recognizers: objects attached to a view that read its touches (before the view does,
// see Window.h) and, when they recognize their gesture, call their actions. The tap recognizer
// is here; an SDK adds its own by subclassing GestureRecognizer, overriding the touch hooks and
// moving the state with setState.
//
// Contract (main thread only):
//  - State machine: Possible -> Ended (a discrete gesture: recognized), or Possible -> Began ->
//    Changed... -> Ended or Cancelled (a continuous one), or Possible -> Failed.
//  - Actions run synchronously inside setState, in the order added, for Began, Changed, Ended
//    and Cancelled. A disabled recognizer gets no touches.
//  - When the touch that the recognizer saw ends or is cancelled and the state is Ended,
//    Cancelled or Failed, the window calls reset() and the state returns to Possible.

#include <functional>
#include <memory>
#include <vector>

#include "platform/runtime/Runtime.h"
#include "platform/ui/View.h"

namespace platform::ui {

enum class GestureState { Possible, Began, Changed, Ended, Cancelled, Failed };

class GestureRecognizer : public runtime::Object,
                          public std::enable_shared_from_this<GestureRecognizer> {
  public:
    using Action = std::function<void(GestureRecognizer& recognizer)>;

    GestureRecognizer() = default;
    explicit GestureRecognizer(Action action);
    ~GestureRecognizer() override = default;
    std::string className() const override { return "GestureRecognizer"; }

    void addTarget(Action action);

    GestureState state() const { return state_; }
    std::shared_ptr<View> view() const { return view_.lock(); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    // Whether the view's touch is cancelled once the gesture is recognized (default true).
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool cancels) { cancelsTouchesInView_ = cancels; }

    // Where the gesture's touch was last seen, in `view`'s coordinates (window's when null).
    Point locationInView(const View* view) const;
    // The touches seen since the last reset that are not over.
    size_t numberOfTouches() const;

    virtual void touchesBegan(const Touches& touches);
    virtual void touchesMoved(const Touches& touches);
    virtual void touchesEnded(const Touches& touches);
    virtual void touchesCancelled(const Touches& touches);
    // Back to Possible, forgetting the touches; subclasses extend it.
    virtual void reset();

  protected:
    void setState(GestureState state);

  private:
    friend class View;
    friend class Window;
    // The window's bookkeeping around each event and at the end of a touch.
    void remember(const Touches& touches);
    void resetAfterTouch();

    GestureState state_ = GestureState::Possible;
    std::weak_ptr<View> view_;
    std::vector<Action> actions_;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
    Touches touches_;
    std::shared_ptr<Touch> lastTouch_;
};

// Recognizes a tap: touches down and up within 10 points, `numberOfTapsRequired` times in a row
// (the touch's tap count). Moving farther fails it.
class TapGestureRecognizer : public GestureRecognizer {
  public:
    using GestureRecognizer::GestureRecognizer;
    std::string className() const override { return "TapGestureRecognizer"; }

    int numberOfTapsRequired() const { return tapsRequired_; }
    void setNumberOfTapsRequired(int taps) { tapsRequired_ = taps; }

    void touchesBegan(const Touches& touches) override;
    void touchesMoved(const Touches& touches) override;
    void touchesEnded(const Touches& touches) override;
    void touchesCancelled(const Touches& touches) override;
    void reset() override;

  private:
    int tapsRequired_ = 1;
    Point start_;
};

}  // namespace platform::ui
