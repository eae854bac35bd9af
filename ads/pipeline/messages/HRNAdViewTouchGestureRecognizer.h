#pragma once
// HRNAdViewTouchGestureRecognizer: sits on every ad view and records the user's taps for the
// click signal (position and how long the finger stayed), without ever taking a touch from the
// page: it fails at each touch's end. The first touch it receives also marks its ad view
// touched.
//
// Main thread only.

#include <functional>

#include "platform/ui/GestureRecognizer.h"

class HRNAdViewTouchGestureRecognizer : public platform::ui::GestureRecognizer {
  public:
    HRNAdViewTouchGestureRecognizer() { setCancelsTouchesInView(false); }
    std::string className() const override { return "HRNAdViewTouchGestureRecognizer"; }

    // Called whenever a touch reaches the recognizer (the ad view marks itself touched).
    void setTouchReceiver(std::function<void()> receiver) { touchReceiver_ = std::move(receiver); }
    // Seconds of the clock when the touch began; 0 when none is recorded.
    double touchesBeganTimestamp() const { return touchesBeganTimestamp_; }

    void touchesBegan(const platform::ui::Touches& touches) override;
    void touchesEnded(const platform::ui::Touches& touches) override;

  private:
    std::function<void()> touchReceiver_;
    double touchesBeganTimestamp_ = 0;
};
